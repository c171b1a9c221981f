// OpenAL Soft behind the DirectSound-shaped audio service. Each buffer keeps its samples in memory
// for Lock and hands them to its AL buffer at Unlock; a silent device keeps the memory and no AL objects.
#include "platform/openal/OpenALAudio.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace kuvo {

float VolumeToGain(LONG volume) { return static_cast<float>(std::pow(10.0, volume / 2000.0)); }

// AL keeps one error per context and a read clears it, so one read should do; a few more allow for a
// library that queues them. Without a current context OpenAL Soft reports an error on every read.
bool ClearAlErrors() {
  constexpr int kMostReads = 4;
  for (int k = 0; k < kMostReads; ++k)
    if (alGetError() == AL_NO_ERROR) return true;
  return false;
}

namespace {

// An open output and its context, kept alive by the device object and by every buffer made on it.
struct AlOutput {
  ALCdevice* device = nullptr;
  ALCcontext* context = nullptr;

  // Several outputs may be open at once (tests open them side by side), and AL works on the current one.
  // False when the switch fails: AL calls would then go nowhere.
  bool MakeCurrent() const { return alcGetCurrentContext() == context || alcMakeContextCurrent(context) == ALC_TRUE; }
  ~AlOutput() {
    if (alcGetCurrentContext() == context) alcMakeContextCurrent(nullptr);
    if (context) alcDestroyContext(context);
    if (device) alcCloseDevice(device);
  }
};

ALenum AlFormat(const WAVEFORMATEX& format) {
  if (format.nChannels == 1) return format.wBitsPerSample == 8 ? AL_FORMAT_MONO8 : AL_FORMAT_MONO16;
  return format.wBitsPerSample == 8 ? AL_FORMAT_STEREO8 : AL_FORMAT_STEREO16;
}

// Makes `output` current and clears its error state, so that the next check sees only what follows;
// the device error when either cannot be done.
HRESULT Enter(const AlOutput& output) {
  if (!output.MakeCurrent()) return E_FAIL;
  return ClearAlErrors() ? S_OK : E_FAIL;
}

// Runs `open` with the process's stderr sent to /dev/null, unless the player asked OpenAL Soft for its
// log: without a sound card ALSA and OpenAL Soft print about ten lines there, and the game says it in one.
template <class Open>
auto Quietly(Open open) {
  const bool keep = std::getenv("ALSOFT_LOGLEVEL") != nullptr;
  int saved = -1;
  if (!keep) {
    std::fflush(stderr);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
      saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
      if (saved >= 0) ::dup2(null, STDERR_FILENO);
      ::close(null);
    }
  }
  auto result = open();
  if (saved >= 0) {
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
  }
  return result;
}

HRESULT AlResult() { return alGetError() == AL_NO_ERROR ? S_OK : E_FAIL; }

// The samples of a created buffer, shared with its duplicates.
struct AlSound {
  std::shared_ptr<AlOutput> output;  // null on a silent device
  ALuint name = 0;
  WAVEFORMATEX format{};
  DWORD flags = 0;
  std::vector<std::uint8_t> bytes;
  std::vector<ALuint> sources;  // every source on this AL buffer

  ~AlSound() {
    if (output && name && output->MakeCurrent()) alDeleteBuffers(1, &name);
  }

  // AL refuses new data for a buffer a source holds, so the sources let go of it for the upload
  // and stop: what was playing ends, as the samples it played are gone.
  HRESULT Upload() {
    if (!output) return S_OK;
    if (HRESULT hr = Enter(*output); hr != S_OK) return hr;
    for (ALuint source : sources) {
      alSourceStop(source);
      alSourcei(source, AL_BUFFER, 0);
    }
    alBufferData(name, AlFormat(format), bytes.data(), static_cast<ALsizei>(bytes.size()),
                 static_cast<ALsizei>(format.nSamplesPerSec));
    for (ALuint source : sources) alSourcei(source, AL_BUFFER, static_cast<ALint>(name));
    return AlResult();
  }
};

class OpenALBuffer final : public AudioBuffer {
 public:
  explicit OpenALBuffer(std::shared_ptr<AlSound> sound) : sound_(std::move(sound)) {}

  // Makes this buffer's source on the shared AL buffer, heard without position or distance.
  HRESULT Attach() {
    if (!sound_->output) return S_OK;
    if (HRESULT hr = Enter(*sound_->output); hr != S_OK) return hr;
    alGenSources(1, &source_);
    if (alGetError() != AL_NO_ERROR) {
      source_ = 0;
      return DSERR_ALLOCATED;
    }
    alSourcei(source_, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(source_, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSourcef(source_, AL_ROLLOFF_FACTOR, 0.0f);
    alSourcef(source_, AL_GAIN, VolumeToGain(volume_));
    alSourcei(source_, AL_BUFFER, static_cast<ALint>(sound_->name));
    sound_->sources.push_back(source_);
    return AlResult();
  }

  const std::shared_ptr<AlSound>& Sound() const { return sound_; }
  LONG Volume() const { return volume_; }
  void SetInitialVolume(LONG volume) { volume_ = volume; }

  HRESULT Lock(DWORD offset, DWORD bytes, void** audioPtr1, DWORD* audioBytes1, void** audioPtr2,
               DWORD* audioBytes2, DWORD flags) override {
    return lock_.Lock(sound_->bytes.data(), static_cast<DWORD>(sound_->bytes.size()), offset, bytes, flags, audioPtr1,
                      audioBytes1, audioPtr2, audioBytes2);
  }

  HRESULT Unlock(void* audioPtr1, DWORD audioBytes1, void* audioPtr2, DWORD audioBytes2) override {
    HRESULT hr = lock_.Unlock(audioPtr1, audioBytes1, audioPtr2, audioBytes2);
    return hr == S_OK ? sound_->Upload() : hr;
  }

  HRESULT SetVolume(LONG volume) override {
    if (!(sound_->flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    HRESULT hr = CheckVolume(volume);
    if (hr != S_OK) return hr;
    volume_ = volume;
    if (!source_) return S_OK;
    if (HRESULT hr = Enter(*sound_->output); hr != S_OK) return hr;
    alSourcef(source_, AL_GAIN, VolumeToGain(volume));
    return AlResult();
  }

  // Read back from the source's gain, so it shows what AL will play.
  HRESULT GetVolume(LONG* volume) override {
    if (!(sound_->flags & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
    if (!volume) return DSERR_INVALIDPARAM;
    if (!source_) {
      *volume = volume_;
      return S_OK;
    }
    if (HRESULT hr = Enter(*sound_->output); hr != S_OK) return hr;
    ALfloat gain = 0.0f;
    alGetSourcef(source_, AL_GAIN, &gain);
    HRESULT hr = AlResult();
    if (hr != S_OK) return hr;
    double hundredths = gain > 0.0f ? std::nearbyint(2000.0 * std::log10(static_cast<double>(gain))) : DSBVOLUME_MIN;
    *volume = static_cast<LONG>(std::clamp<double>(hundredths, DSBVOLUME_MIN, DSBVOLUME_MAX));
    return S_OK;
  }

  // alSourcePlay restarts a playing source, so every Play starts from the first sample.
  HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override {
    HRESULT hr = CheckPlay(reserved, priority, flags);
    if (hr != S_OK || !source_) return hr;
    if (HRESULT hr = Enter(*sound_->output); hr != S_OK) return hr;
    alSourcei(source_, AL_LOOPING, (flags & DSBPLAY_LOOPING) ? AL_TRUE : AL_FALSE);
    alSourcePlay(source_);
    return AlResult();
  }

  HRESULT Stop() override {
    if (!source_) return S_OK;
    if (HRESULT hr = Enter(*sound_->output); hr != S_OK) return hr;
    alSourceStop(source_);
    return AlResult();
  }

  // A silent buffer is never heard, so it never reports playing.
  HRESULT GetStatus(DWORD* status) override {
    if (!status) return DSERR_INVALIDPARAM;
    *status = 0;
    if (!source_) return S_OK;
    if (HRESULT hr = Enter(*sound_->output); hr != S_OK) return hr;
    ALint state = AL_STOPPED;
    ALint looping = AL_FALSE;
    alGetSourcei(source_, AL_SOURCE_STATE, &state);
    alGetSourcei(source_, AL_LOOPING, &looping);
    if (state == AL_PLAYING) *status = DSBSTATUS_PLAYING | (looping ? DSBSTATUS_LOOPING : 0);
    return AlResult();
  }

  std::uint32_t Release() override {
    if (source_ && sound_->output->MakeCurrent()) {
      alSourceStop(source_);
      alSourcei(source_, AL_BUFFER, 0);
      alDeleteSources(1, &source_);
      std::erase(sound_->sources, source_);
    }
    delete this;
    return 0;
  }

 private:
  ~OpenALBuffer() = default;

  std::shared_ptr<AlSound> sound_;
  ALuint source_ = 0;
  LONG volume_ = DSBVOLUME_MAX;
  BufferLock lock_;
};

class OpenALDevice final : public AudioDevice {
 public:
  explicit OpenALDevice(OpenALAudio& service) : service_(service) {}

  HRESULT Initialize(const GUID* device) override {
    if (initialized_) return DSERR_ALREADYINITIALIZED;
    if (device) return DSERR_NODRIVER;
    const std::string& name = service_.DeviceName();
    ALCdevice* alDevice = Quietly([&] { return alcOpenDevice(name.empty() ? nullptr : name.c_str()); });
    if (!alDevice) {
      // A machine without sound still plays the game: this device goes on silently.
      service_.NoteNoOutput();
      initialized_ = true;
      return S_OK;
    }
    auto output = std::make_shared<AlOutput>();
    output->device = alDevice;
    output->context = Quietly([&] { return alcCreateContext(alDevice, nullptr); });
    if (!output->context || alcMakeContextCurrent(output->context) != ALC_TRUE) return E_FAIL;
    output_ = std::move(output);
    initialized_ = true;
    return S_OK;
  }

  HRESULT SetCooperativeLevel(void*, DWORD level) override {
    if (!initialized_) return DSERR_UNINITIALIZED;
    return CheckCooperativeLevel(level);
  }

  HRESULT CreateSoundBuffer(const DSBUFFERDESC* description, AudioBuffer** buffer, void* outer) override {
    if (buffer) *buffer = nullptr;
    if (!initialized_) return DSERR_UNINITIALIZED;
    if (!buffer || outer) return DSERR_INVALIDPARAM;
    HRESULT hr = CheckBufferDescription(description);
    if (hr != S_OK) return hr;

    auto sound = std::make_shared<AlSound>();
    sound->format = *description->lpwfxFormat;
    sound->flags = description->dwFlags;
    sound->bytes.assign(description->dwBufferBytes, 0);
    if (output_) {
      if ((hr = Enter(*output_)) != S_OK) return hr;
      alGenBuffers(1, &sound->name);
      if (alGetError() != AL_NO_ERROR) return E_OUTOFMEMORY;
      sound->output = output_;
      if ((hr = sound->Upload()) != S_OK) return hr;
    }
    auto made = std::unique_ptr<OpenALBuffer, Releaser>(new OpenALBuffer(sound));
    if ((hr = made->Attach()) != S_OK) return hr;
    *buffer = made.release();
    return S_OK;
  }

  HRESULT DuplicateSoundBuffer(AudioBuffer* original, AudioBuffer** duplicate) override {
    if (duplicate) *duplicate = nullptr;
    if (!initialized_) return DSERR_UNINITIALIZED;
    auto* source = dynamic_cast<OpenALBuffer*>(original);
    if (!source || !duplicate || source->Sound()->output != output_) return DSERR_INVALIDPARAM;
    auto made = std::unique_ptr<OpenALBuffer, Releaser>(new OpenALBuffer(source->Sound()));
    made->SetInitialVolume(source->Volume());
    HRESULT hr = made->Attach();
    if (hr != S_OK) return hr;
    *duplicate = made.release();
    return S_OK;
  }

  // The output stays open while buffers made on it remain.
  std::uint32_t Release() override {
    delete this;
    return 0;
  }

 private:
  struct Releaser {
    void operator()(OpenALBuffer* buffer) const { buffer->Release(); }
  };

  ~OpenALDevice() = default;

  OpenALAudio& service_;
  std::shared_ptr<AlOutput> output_;  // null until Initialize, and on a silent device
  bool initialized_ = false;
};

}  // namespace

OpenALAudio::OpenALAudio(std::string deviceName, Notice notice)
    : deviceName_(std::move(deviceName)), notice_(std::move(notice)) {}

HRESULT OpenALAudio::CreateDirectSound8(AudioDevice** device) {
  if (!device) return DSERR_INVALIDPARAM;
  *device = new OpenALDevice(*this);
  return S_OK;
}

void OpenALAudio::NoteNoOutput() {
  if (silent_) return;
  silent_ = true;
  std::string message = "no sound output device could be opened";
  if (!deviceName_.empty()) message += " (\"" + deviceName_ + "\")";
  message += "; the game goes on without sound";
  if (notice_) {
    notice_(message);
  } else {
    std::fprintf(stderr, "kuvo: %s\n", message.c_str());
  }
}

}  // namespace kuvo
