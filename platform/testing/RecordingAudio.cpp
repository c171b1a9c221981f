// The recording audio backend: objects that check their arguments as the real backend does,
// keep their state and sample memory, and report every call to their RecordingAudio.
#include "platform/testing/RecordingAudio.h"

#include <algorithm>

namespace kuvo {

std::vector<std::int16_t> RecordedSound::Samples16() const {
  std::vector<std::int16_t> samples(bytes.size() / 2);
  for (std::size_t i = 0; i < samples.size(); ++i)
    samples[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return samples;
}

class RecordingAudio::Buffer final : public AudioBuffer {
 public:
  Buffer(RecordingAudio& owner, std::shared_ptr<RecordedSound> sound, LONG volume)
      : owner_(owner), id_(++owner.lastId_), sound_(std::move(sound)), volume_(volume) {}

  int Id() const { return id_; }
  bool Released() const { return released_; }
  const std::shared_ptr<RecordedSound>& Sound() const { return sound_; }
  LONG Volume() const { return volume_; }

  HRESULT Lock(DWORD offset, DWORD bytes, void** audioPtr1, DWORD* audioBytes1, void** audioPtr2,
               DWORD* audioBytes2, DWORD flags) override {
    HRESULT hr = Begin(AudioOp::Lock);
    if (hr == S_OK)
      hr = lock_.Lock(sound_->bytes.data(), static_cast<DWORD>(sound_->bytes.size()), offset, bytes, flags, audioPtr1,
                      audioBytes1, audioPtr2, audioBytes2);
    return owner_.Record(AudioOp::Lock, id_, hr, offset, bytes, flags);
  }

  HRESULT Unlock(void* audioPtr1, DWORD audioBytes1, void* audioPtr2, DWORD audioBytes2) override {
    HRESULT hr = Begin(AudioOp::Unlock);
    if (hr == S_OK) hr = lock_.Unlock(audioPtr1, audioBytes1, audioPtr2, audioBytes2);
    if (hr == S_OK) ++sound_->unlocks;
    return owner_.Record(AudioOp::Unlock, id_, hr, audioBytes1, audioBytes2);
  }

  HRESULT SetVolume(LONG volume) override {
    HRESULT hr = Begin(AudioOp::SetVolume);
    if (hr == S_OK && !(sound_->description.dwFlags & DSBCAPS_CTRLVOLUME)) hr = DSERR_CONTROLUNAVAIL;
    if (hr == S_OK) hr = CheckVolume(volume);
    if (hr == S_OK) volume_ = volume;
    return owner_.Record(AudioOp::SetVolume, id_, hr, volume);
  }

  HRESULT GetVolume(LONG* volume) override {
    HRESULT hr = Begin(AudioOp::GetVolume);
    if (hr == S_OK && !(sound_->description.dwFlags & DSBCAPS_CTRLVOLUME)) hr = DSERR_CONTROLUNAVAIL;
    if (hr == S_OK && !volume) hr = DSERR_INVALIDPARAM;
    if (hr == S_OK) *volume = volume_;
    return owner_.Record(AudioOp::GetVolume, id_, hr);
  }

  HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override {
    HRESULT hr = Begin(AudioOp::Play);
    if (hr == S_OK) hr = CheckPlay(reserved, priority, flags);
    if (hr == S_OK) {
      playing_ = true;
      looping_ = (flags & DSBPLAY_LOOPING) != 0;
    }
    return owner_.Record(AudioOp::Play, id_, hr, reserved, priority, flags);
  }

  HRESULT Stop() override {
    HRESULT hr = Begin(AudioOp::Stop);
    if (hr == S_OK) playing_ = false;
    return owner_.Record(AudioOp::Stop, id_, hr);
  }

  HRESULT GetStatus(DWORD* status) override {
    HRESULT hr = Begin(AudioOp::GetStatus);
    if (hr == S_OK && !status) hr = DSERR_INVALIDPARAM;
    if (hr == S_OK) *status = playing_ ? (DSBSTATUS_PLAYING | (looping_ ? DSBSTATUS_LOOPING : 0)) : 0;
    return owner_.Record(AudioOp::GetStatus, id_, hr);
  }

  std::uint32_t Release() override {
    owner_.Record(AudioOp::ReleaseBuffer, id_, released_ ? DSERR_INVALIDCALL : S_OK);
    if (!released_) {
      released_ = true;
      playing_ = false;
      owner_.Dispose(this);
    }
    return 0;
  }

 private:
  // A released object answers nothing but still reports the call, so a test sees the misuse.
  HRESULT Begin(AudioOp op) { return released_ ? DSERR_INVALIDCALL : owner_.InjectedFailure(op); }

  RecordingAudio& owner_;
  int id_;
  std::shared_ptr<RecordedSound> sound_;
  LONG volume_;
  bool playing_ = false;
  bool looping_ = false;
  bool released_ = false;
  BufferLock lock_;
};

class RecordingAudio::Device final : public AudioDevice {
 public:
  explicit Device(RecordingAudio& owner) : owner_(owner), id_(++owner.lastId_) {}

  int Id() const { return id_; }
  bool Released() const { return released_; }

  HRESULT Initialize(const GUID* device) override {
    HRESULT hr = Begin(AudioOp::Initialize, false);
    if (hr == S_OK && initialized_) hr = DSERR_ALREADYINITIALIZED;
    if (hr == S_OK && device) hr = DSERR_NODRIVER;
    if (hr == S_OK) initialized_ = true;
    return owner_.Record(AudioOp::Initialize, id_, hr, device ? 1 : 0);
  }

  HRESULT SetCooperativeLevel(void*, DWORD level) override {
    HRESULT hr = Begin(AudioOp::SetCooperativeLevel, true);
    if (hr == S_OK) hr = CheckCooperativeLevel(level);
    return owner_.Record(AudioOp::SetCooperativeLevel, id_, hr, level);
  }

  HRESULT CreateSoundBuffer(const DSBUFFERDESC* description, AudioBuffer** buffer, void* outer) override {
    HRESULT hr = Begin(AudioOp::CreateSoundBuffer, true);
    if (hr == S_OK && (!buffer || outer)) hr = DSERR_INVALIDPARAM;
    if (hr == S_OK) hr = CheckBufferDescription(description);
    int made = 0;
    if (hr == S_OK) {
      auto sound = std::make_shared<RecordedSound>();
      sound->description = *description;
      sound->format = *description->lpwfxFormat;
      sound->description.lpwfxFormat = &sound->format;
      sound->bytes.assign(description->dwBufferBytes, 0);
      Buffer* madeBuffer = owner_.Adopt(std::make_unique<Buffer>(owner_, sound, DSBVOLUME_MAX));
      sound->bufferId = made = madeBuffer->Id();
      if (!owner_.Counting()) owner_.sounds_.push_back(sound);
      *buffer = madeBuffer;
    } else if (buffer) {
      *buffer = nullptr;
    }
    return owner_.Record(AudioOp::CreateSoundBuffer, id_, hr, made);
  }

  HRESULT DuplicateSoundBuffer(AudioBuffer* original, AudioBuffer** duplicate) override {
    HRESULT hr = Begin(AudioOp::DuplicateSoundBuffer, true);
    Buffer* source = owner_.Find(original);
    if (hr == S_OK && (!source || source->Released() || !duplicate)) hr = DSERR_INVALIDPARAM;
    int made = 0;
    if (hr == S_OK) {
      Buffer* copy = owner_.Adopt(std::make_unique<Buffer>(owner_, source->Sound(), source->Volume()));
      made = copy->Id();
      *duplicate = copy;
    } else if (duplicate) {
      *duplicate = nullptr;
    }
    return owner_.Record(AudioOp::DuplicateSoundBuffer, id_, hr, source ? source->Id() : 0, made);
  }

  std::uint32_t Release() override {
    owner_.Record(AudioOp::ReleaseDevice, id_, released_ ? DSERR_INVALIDCALL : S_OK);
    if (!released_) {
      released_ = true;
      owner_.Dispose(this);
    }
    return 0;
  }

 private:
  HRESULT Begin(AudioOp op, bool needsInitialize) {
    if (released_) return DSERR_INVALIDCALL;
    if (needsInitialize && !initialized_) return DSERR_UNINITIALIZED;
    return owner_.InjectedFailure(op);
  }

  RecordingAudio& owner_;
  int id_;
  bool initialized_ = false;
  bool released_ = false;
};

const char* AudioOpName(AudioOp op) {
  switch (op) {
    case AudioOp::CreateDirectSound8: return "CreateDirectSound8";
    case AudioOp::Initialize: return "Initialize";
    case AudioOp::SetCooperativeLevel: return "SetCooperativeLevel";
    case AudioOp::CreateSoundBuffer: return "CreateSoundBuffer";
    case AudioOp::DuplicateSoundBuffer: return "DuplicateSoundBuffer";
    case AudioOp::ReleaseDevice: return "ReleaseDevice";
    case AudioOp::Lock: return "Lock";
    case AudioOp::Unlock: return "Unlock";
    case AudioOp::SetVolume: return "SetVolume";
    case AudioOp::GetVolume: return "GetVolume";
    case AudioOp::Play: return "Play";
    case AudioOp::Stop: return "Stop";
    case AudioOp::GetStatus: return "GetStatus";
    case AudioOp::ReleaseBuffer: return "ReleaseBuffer";
  }
  return "?";
}

RecordingAudio::RecordingAudio(Mode mode) : mode_(mode) {}
RecordingAudio::~RecordingAudio() = default;

HRESULT RecordingAudio::CreateDirectSound8(AudioDevice** device) {
  HRESULT hr = InjectedFailure(AudioOp::CreateDirectSound8);
  if (hr == S_OK && !device) hr = DSERR_INVALIDPARAM;
  int made = 0;
  if (hr == S_OK) {
    devices_.push_back(std::make_unique<Device>(*this));
    made = devices_.back()->Id();
    *device = devices_.back().get();
  } else if (device) {
    *device = nullptr;
  }
  return Record(AudioOp::CreateDirectSound8, 0, hr, made);
}

int RecordingAudio::IdOf(const AudioBuffer* buffer) const {
  const Buffer* b = Find(buffer);
  return b ? b->Id() : 0;
}

int RecordingAudio::IdOf(const AudioDevice* device) const {
  for (const auto& d : devices_)
    if (static_cast<const AudioDevice*>(d.get()) == device) return d->Id();
  return 0;
}

const RecordedSound* RecordingAudio::SoundOf(const AudioBuffer* buffer) const {
  const Buffer* b = Find(buffer);
  return b ? b->Sound().get() : nullptr;
}

int RecordingAudio::LiveObjects() const {
  auto live = [](const auto& object) { return !object->Released(); };
  return static_cast<int>(std::count_if(buffers_.begin(), buffers_.end(), live) +
                          std::count_if(devices_.begin(), devices_.end(), live));
}

void RecordingAudio::FailCall(AudioOp op, HRESULT code, long skip) { failures_.push_back({op, code, skip}); }

HRESULT RecordingAudio::Record(AudioOp op, int object, HRESULT result, std::int64_t a, std::int64_t b,
                               std::int64_t c) {
  ++counts_[static_cast<int>(op)];
  if (mode_ == Mode::Log) calls_.push_back({op, object, a, b, c, result});
  if (order_) order_->Note(std::string("audio ") + AudioOpName(op) + " " + std::to_string(object));
  return result;
}

HRESULT RecordingAudio::InjectedFailure(AudioOp op) {
  for (auto it = failures_.begin(); it != failures_.end(); ++it) {
    if (it->op != op) continue;
    if (it->skip > 0) {
      --it->skip;
      continue;
    }
    HRESULT code = it->code;
    failures_.erase(it);
    return code;
  }
  return S_OK;
}

RecordingAudio::Buffer* RecordingAudio::Adopt(std::unique_ptr<Buffer> buffer) {
  buffers_.push_back(std::move(buffer));
  return buffers_.back().get();
}

RecordingAudio::Buffer* RecordingAudio::Find(const AudioBuffer* buffer) const {
  for (const auto& b : buffers_)
    if (static_cast<const AudioBuffer*>(b.get()) == buffer) return b.get();
  return nullptr;
}

// In counting mode a released object is freed at once; in logging mode it stays, marked, for inspection.
void RecordingAudio::Dispose(Buffer* buffer) {
  if (mode_ != Mode::CountOnly) return;
  std::erase_if(buffers_, [buffer](const auto& b) { return b.get() == buffer; });
}

void RecordingAudio::Dispose(Device* device) {
  if (mode_ != Mode::CountOnly) return;
  std::erase_if(devices_, [device](const auto& d) { return d.get() == device; });
}

}  // namespace kuvo
