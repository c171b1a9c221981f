// Audio service, shaped after DirectSound 8: a device object that makes sound buffers from a PCM
// description, and buffers that are locked, filled, given a volume and played once.
//
// Contract, for every backend:
// * Volume is in hundredths of a decibel, from -10000 (silence) to 0 (full); other values are refused.
// * Play always starts the buffer from its first sample; Stop silences it. Nothing else moves the position.
// * A duplicate shares its original's sample memory and has its own volume and playing state.
// * Release destroys the object; a buffer must not be used after its Release. The device may be
//   released before or after its buffers.
// * Every call returns an HRESULT-style code (platform/Types.h) and runs on the one game thread.
#pragma once
#include <cstdint>

#include "platform/Types.h"

namespace kuvo {

using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using LONG = std::int32_t;

struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};

// The PCM format of a buffer, field for field as Windows' WAVEFORMATEX.
struct WAVEFORMATEX {
  WORD wFormatTag;       // WAVE_FORMAT_PCM
  WORD nChannels;        // 1 or 2
  DWORD nSamplesPerSec;  // DSBFREQUENCY_MIN..DSBFREQUENCY_MAX
  DWORD nAvgBytesPerSec;  // nSamplesPerSec x nBlockAlign
  WORD nBlockAlign;      // nChannels x wBitsPerSample / 8
  WORD wBitsPerSample;   // 8 (unsigned) or 16 (signed)
  WORD cbSize;           // 0 for PCM
};

// A buffer's description, field for field as DSBUFFERDESC. dwSize carries the value a 32-bit
// Windows program passes (36), not this struct's size on the machine running it.
struct DSBUFFERDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwBufferBytes;
  DWORD dwReserved;
  const WAVEFORMATEX* lpwfxFormat;
  GUID guid3DAlgorithm;
};

constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr DWORD DSBUFFERDESC_SIZE = 36;

constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr DWORD DSBCAPS_CTRL3D = 0x00000010;
constexpr DWORD DSBCAPS_CTRLVOLUME = 0x00000080;
constexpr DWORD DSBCAPS_GLOBALFOCUS = 0x00008000;

constexpr DWORD DSBFREQUENCY_MIN = 100;
constexpr DWORD DSBFREQUENCY_MAX = 200000;
constexpr DWORD DSBSIZE_MIN = 4;
constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;

constexpr DWORD DSSCL_NORMAL = 1;
constexpr DWORD DSSCL_PRIORITY = 2;
constexpr DWORD DSSCL_EXCLUSIVE = 3;
constexpr DWORD DSSCL_WRITEPRIMARY = 4;

constexpr DWORD DSBLOCK_ENTIREBUFFER = 0x2;

constexpr DWORD DSBPLAY_LOOPING = 0x1;
constexpr DWORD DSBSTATUS_PLAYING = 0x1;
constexpr DWORD DSBSTATUS_LOOPING = 0x4;

constexpr LONG DSBVOLUME_MIN = -10000;
constexpr LONG DSBVOLUME_MAX = 0;

// DirectSound's own failure codes (facility 0x878); invalid arguments are E_INVALIDARG.
constexpr HRESULT DSERR_ALLOCATED = static_cast<HRESULT>(0x8878000Au);
constexpr HRESULT DSERR_CONTROLUNAVAIL = static_cast<HRESULT>(0x8878001Eu);
constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032u);
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);
constexpr HRESULT DSERR_ALREADYINITIALIZED = static_cast<HRESULT>(0x88780082u);
constexpr HRESULT DSERR_UNINITIALIZED = static_cast<HRESULT>(0x887800AAu);
constexpr HRESULT DSERR_INVALIDPARAM = E_INVALIDARG;

// IDirectSoundBuffer8.
class AudioBuffer {
 public:
  // Gives one or two pointers into the sample memory for `bytes` bytes from `offset`, wrapping at
  // the end of the buffer. DSBLOCK_ENTIREBUFFER locks all of it. One lock at a time.
  virtual HRESULT Lock(DWORD offset, DWORD bytes, void** audioPtr1, DWORD* audioBytes1, void** audioPtr2,
                       DWORD* audioBytes2, DWORD flags) = 0;
  // Ends the lock; the pointers are those Lock gave, the byte counts how many were written.
  virtual HRESULT Unlock(void* audioPtr1, DWORD audioBytes1, void* audioPtr2, DWORD audioBytes2) = 0;
  // Needs DSBCAPS_CTRLVOLUME.
  virtual HRESULT SetVolume(LONG volume) = 0;
  virtual HRESULT GetVolume(LONG* volume) = 0;
  // reserved and priority must be 0; flags 0 plays once, DSBPLAY_LOOPING repeats.
  virtual HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) = 0;
  virtual HRESULT Stop() = 0;
  virtual HRESULT GetStatus(DWORD* status) = 0;
  // Returns the references left, which is always 0: nothing else holds this object.
  virtual std::uint32_t Release() = 0;

 protected:
  ~AudioBuffer() = default;
};

// IDirectSound8.
class AudioDevice {
 public:
  // Opens the output: only the default playback device (null) is offered.
  virtual HRESULT Initialize(const GUID* device) = 0;
  // `window` stands for the owner window's handle; no backend gives it a meaning.
  virtual HRESULT SetCooperativeLevel(void* window, DWORD level) = 0;
  // outer must be null (no aggregation). The buffer starts stopped, at volume 0, its memory zeroed.
  virtual HRESULT CreateSoundBuffer(const DSBUFFERDESC* description, AudioBuffer** buffer, void* outer) = 0;
  virtual HRESULT DuplicateSoundBuffer(AudioBuffer* original, AudioBuffer** duplicate) = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~AudioDevice() = default;
};

// The service: object creation by class id, CoCreateInstance(CLSID_DirectSound8).
class Audio {
 public:
  virtual ~Audio() = default;
  // An uninitialised device object; Initialize it before anything else.
  virtual HRESULT CreateDirectSound8(AudioDevice** device) = 0;
};

// Argument rules every backend applies the same way, so the testing backend refuses what the real one does.
HRESULT CheckBufferDescription(const DSBUFFERDESC* description);
HRESULT CheckCooperativeLevel(DWORD level);
HRESULT CheckVolume(LONG volume);
HRESULT CheckPlay(DWORD reserved, DWORD priority, DWORD flags);

// The one lock a buffer hands out over its sample memory, shared by the backends: Lock checks the
// arguments and gives out the region (wrapping round to the start when it runs past the end), and
// Unlock accepts only the pointers handed out, in at most the sizes handed out.
class BufferLock {
 public:
  HRESULT Lock(std::uint8_t* memory, DWORD memoryBytes, DWORD offset, DWORD bytes, DWORD flags, void** audioPtr1,
               DWORD* audioBytes1, void** audioPtr2, DWORD* audioBytes2);
  HRESULT Unlock(void* audioPtr1, DWORD audioBytes1, void* audioPtr2, DWORD audioBytes2);

 private:
  bool locked_ = false;
  void* ptr1_ = nullptr;
  void* ptr2_ = nullptr;
  DWORD bytes1_ = 0;
  DWORD bytes2_ = 0;
};

}  // namespace kuvo
