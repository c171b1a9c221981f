// A silent audio backend that records: every call with its arguments and result, and the bytes
// written into every buffer. Any call can be made to fail. In counting mode it keeps only the number
// of calls of each kind and frees released objects, so a run of thousands of games stays small.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Audio.h"
#include "platform/testing/CallOrder.h"

namespace kuvo {

enum class AudioOp {
  CreateDirectSound8,
  Initialize,
  SetCooperativeLevel,
  CreateSoundBuffer,
  DuplicateSoundBuffer,
  ReleaseDevice,
  Lock,
  Unlock,
  SetVolume,
  GetVolume,
  Play,
  Stop,
  GetStatus,
  ReleaseBuffer,
};
constexpr int AudioOpCount = static_cast<int>(AudioOp::ReleaseBuffer) + 1;

// The operation's name, as the enumerator reads: "Play", "CreateSoundBuffer", ...
const char* AudioOpName(AudioOp op);

// One call. `object` is the id of the device or buffer called (ids count from 1, shared by both kinds).
// Arguments: SetCooperativeLevel a = level; CreateSoundBuffer a = the new buffer's id;
// DuplicateSoundBuffer a = the original's id, b = the duplicate's id; Lock a = offset, b = bytes,
// c = flags; Unlock a = bytes 1, b = bytes 2; SetVolume a = volume; Play a = reserved, b = priority,
// c = flags. Ids of objects not made are 0.
struct AudioCall {
  AudioOp op;
  int object;
  std::int64_t a;
  std::int64_t b;
  std::int64_t c;
  HRESULT result;
};

// The sample memory of a created buffer, shared with its duplicates.
struct RecordedSound {
  int bufferId;              // the buffer CreateSoundBuffer made
  DSBUFFERDESC description;  // lpwfxFormat points at `format`
  WAVEFORMATEX format;
  std::vector<std::uint8_t> bytes;
  int unlocks = 0;

  // The memory read as 16-bit signed little-endian samples.
  std::vector<std::int16_t> Samples16() const;
};

class RecordingAudio : public Audio {
 public:
  enum class Mode { Log, CountOnly };
  explicit RecordingAudio(Mode mode = Mode::Log);
  ~RecordingAudio() override;
  RecordingAudio(const RecordingAudio&) = delete;
  RecordingAudio& operator=(const RecordingAudio&) = delete;

  HRESULT CreateDirectSound8(AudioDevice** device) override;

  // Every call in order; empty in counting mode.
  const std::vector<AudioCall>& Calls() const { return calls_; }
  long Count(AudioOp op) const { return counts_[static_cast<int>(op)]; }
  // Every sound made by CreateSoundBuffer, in order of creation; empty in counting mode.
  const std::vector<std::shared_ptr<RecordedSound>>& Sounds() const { return sounds_; }
  // The id of a buffer or device this backend made, 0 for anything else.
  int IdOf(const AudioBuffer* buffer) const;
  int IdOf(const AudioDevice* device) const;
  // The sample memory behind a buffer (shared by a buffer and its duplicates), or null.
  const RecordedSound* SoundOf(const AudioBuffer* buffer) const;
  // Objects made and not yet released.
  int LiveObjects() const;
  void ClearCalls() { calls_.clear(); }
  // Every call from now on is also noted in `order` (in either mode), until this is called with null.
  void SetOrder(CallOrder* order) { order_ = order; }

  // The call of `op` that comes after `skip` further calls of it fails once, returning `code`.
  void FailCall(AudioOp op, HRESULT code, long skip = 0);

 private:
  class Buffer;
  class Device;

  HRESULT Record(AudioOp op, int object, HRESULT result, std::int64_t a = 0, std::int64_t b = 0,
                 std::int64_t c = 0);
  HRESULT InjectedFailure(AudioOp op);
  Buffer* Adopt(std::unique_ptr<Buffer> buffer);
  Buffer* Find(const AudioBuffer* buffer) const;
  bool Counting() const { return mode_ == Mode::CountOnly; }
  void Dispose(Buffer* buffer);
  void Dispose(Device* device);

  struct Failure {
    AudioOp op;
    HRESULT code;
    long skip;
  };
  Mode mode_;
  std::vector<AudioCall> calls_;
  std::array<long, AudioOpCount> counts_{};
  std::vector<std::shared_ptr<RecordedSound>> sounds_;
  std::vector<Failure> failures_;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::vector<std::unique_ptr<Device>> devices_;
  int lastId_ = 0;
  CallOrder* order_ = nullptr;
};

}  // namespace kuvo
