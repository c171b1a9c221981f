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

HRESULT ComputeLockRegions(DWORD bufferBytes, DWORD offset, DWORD bytes, DWORD flags, LockRegions* regions) {
  // Locking from the write cursor is not offered: the game fills its buffers once, before playing them.
  if (!regions || (flags & ~DSBLOCK_ENTIREBUFFER) != 0) return DSERR_INVALIDPARAM;
  if (flags & DSBLOCK_ENTIREBUFFER) bytes = bufferBytes;
  if (offset >= bufferBytes || bytes == 0 || bytes > bufferBytes) return DSERR_INVALIDPARAM;
  DWORD first = bufferBytes - offset;
  regions->offset1 = offset;
  regions->bytes1 = bytes <= first ? bytes : first;
  regions->bytes2 = bytes - regions->bytes1;
  return S_OK;
}

}  // namespace kuvo
