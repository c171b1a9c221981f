// Argument rules of the audio service, shared by every backend.
#include "platform/Audio.h"

namespace kuvo {

HRESULT CheckBufferDescription(const DSBUFFERDESC* description) {
  if (!description || description->dwSize != DSBUFFERDESC_SIZE || description->dwReserved != 0)
    return DSERR_INVALIDPARAM;
  // The game has no primary-buffer or positional sound, so no backend offers them.
  if (description->dwFlags & (DSBCAPS_PRIMARYBUFFER | DSBCAPS_CTRL3D)) return DSERR_INVALIDPARAM;
  const WAVEFORMATEX* format = description->lpwfxFormat;
  if (!format || format->wFormatTag != WAVE_FORMAT_PCM || format->cbSize != 0) return DSERR_INVALIDPARAM;
  if (format->nChannels != 1 && format->nChannels != 2) return DSERR_INVALIDPARAM;
  if (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) return DSERR_INVALIDPARAM;
  if (format->nBlockAlign != format->nChannels * format->wBitsPerSample / 8) return DSERR_INVALIDPARAM;
  if (format->nSamplesPerSec < DSBFREQUENCY_MIN || format->nSamplesPerSec > DSBFREQUENCY_MAX)
    return DSERR_INVALIDPARAM;
  if (format->nAvgBytesPerSec != format->nSamplesPerSec * format->nBlockAlign) return DSERR_INVALIDPARAM;
  DWORD bytes = description->dwBufferBytes;
  if (bytes < DSBSIZE_MIN || bytes > DSBSIZE_MAX || bytes % format->nBlockAlign != 0) return DSERR_INVALIDPARAM;
  return S_OK;
}

HRESULT CheckCooperativeLevel(DWORD level) {
  return level >= DSSCL_NORMAL && level <= DSSCL_WRITEPRIMARY ? S_OK : DSERR_INVALIDPARAM;
}

HRESULT CheckVolume(LONG volume) {
  return volume >= DSBVOLUME_MIN && volume <= DSBVOLUME_MAX ? S_OK : DSERR_INVALIDPARAM;
}

HRESULT CheckPlay(DWORD reserved, DWORD priority, DWORD flags) {
  // Priority only means something for deferred-location buffers, which no backend offers.
  if (reserved != 0 || priority != 0 || (flags & ~DSBPLAY_LOOPING) != 0) return DSERR_INVALIDPARAM;
  return S_OK;
}

HRESULT BufferLock::Lock(std::uint8_t* memory, DWORD memoryBytes, DWORD offset, DWORD bytes, DWORD flags,
                         void** audioPtr1, DWORD* audioBytes1, void** audioPtr2, DWORD* audioBytes2) {
  if (locked_) return DSERR_INVALIDCALL;
  // Locking from the write cursor is not offered: the game fills its buffers once, before playing them.
  if ((flags & ~DSBLOCK_ENTIREBUFFER) != 0) return DSERR_INVALIDPARAM;
  if (flags & DSBLOCK_ENTIREBUFFER) bytes = memoryBytes;
  if (offset >= memoryBytes || bytes == 0 || bytes > memoryBytes) return DSERR_INVALIDPARAM;
  DWORD first = memoryBytes - offset;
  DWORD bytes1 = bytes <= first ? bytes : first;
  DWORD bytes2 = bytes - bytes1;
  if (!audioPtr1 || !audioBytes1 || (bytes2 > 0 && (!audioPtr2 || !audioBytes2))) return DSERR_INVALIDPARAM;
  locked_ = true;
  ptr1_ = memory + offset;
  bytes1_ = bytes1;
  ptr2_ = bytes2 > 0 ? memory : nullptr;
  bytes2_ = bytes2;
  *audioPtr1 = ptr1_;
  *audioBytes1 = bytes1_;
  if (audioPtr2) *audioPtr2 = ptr2_;
  if (audioBytes2) *audioBytes2 = bytes2_;
  return S_OK;
}

HRESULT BufferLock::Unlock(void* audioPtr1, DWORD audioBytes1, void* audioPtr2, DWORD audioBytes2) {
  if (!locked_) return DSERR_INVALIDCALL;
  if (audioPtr1 != ptr1_ || audioBytes1 > bytes1_ || (audioPtr2 && (audioPtr2 != ptr2_ || audioBytes2 > bytes2_)))
    return DSERR_INVALIDPARAM;
  locked_ = false;
  return S_OK;
}

}  // namespace kuvo
