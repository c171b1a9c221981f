// The real audio backend on OpenAL Soft: a sound buffer is an AL buffer with its own source, and a
// duplicate is another source on the same AL buffer. With no output device it goes on silently.
#pragma once
#include <functional>
#include <string>

#include "platform/Audio.h"

namespace kuvo {

// The AL gain of a volume in hundredths of a decibel: 10^(volume / 2000), so -10000 is 1e-5.
float VolumeToGain(LONG volume);

// Reads AL's error state until it is clear, a bounded number of times: false if it never clears, as
// without a current context, where OpenAL Soft reports an error on every read.
bool ClearAlErrors();

class OpenALAudio : public Audio {
 public:
  using Notice = std::function<void(const std::string&)>;

  // `deviceName` is the OpenAL output to open, empty for the default one. `notice` receives the one
  // message saying that no output opened; without it the message goes to stderr.
  explicit OpenALAudio(std::string deviceName = {}, Notice notice = {});

  HRESULT CreateDirectSound8(AudioDevice** device) override;

  // True once a device of this service found no output and went on silently.
  bool Silent() const { return silent_; }

  // Called by a device whose output did not open; the message is given the first time only.
  void NoteNoOutput();
  const std::string& DeviceName() const { return deviceName_; }

 private:
  std::string deviceName_;
  Notice notice_;
  bool silent_ = false;
};

}  // namespace kuvo
