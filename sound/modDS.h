// Sound: synthesis of the six effects, and their playback with voices for impacts.
#pragma once
#include <cstdint>
#include <vector>

namespace kuvo {

class AudioDevice;
class AudioBuffer;

// Synthesis state, owned by InitSound; SynthBuffer is also the work area of the building blocks.
extern std::int32_t SynthLength;         // samples per effect: 20000, 0.4535 s at 44100 Hz
extern std::vector<float> SynthBuffer;   // SynthLength samples
extern std::vector<std::int16_t> PcmBuffer;  // the last effect uploaded, as 16-bit PCM

// Device objects, made by InitSound and released by ReleaseSound.
extern AudioDevice* SoundDevice;
extern AudioBuffer* StrokeSound;
extern AudioBuffer* DropSound;
extern AudioBuffer* ScoreSound;
extern AudioBuffer* FoulSound;
// Voice 0 is the created buffer, voices 1..3 its duplicates.
extern AudioBuffer* ClickVoices[4];
extern AudioBuffer* ThudVoices[4];

// Per voice, the level of the last sound started on it minus 0.001 per step since; written only
// by PlayClick, PlayThud and StepSound. Never reset, not even by a new rack.
extern float ClickLevels[4];
extern float ThudLevels[4];

// Creates the device, builds the six effects and loads each into its buffer.
void InitSound();

// Building blocks, each in place on SynthBuffer over SynthLength samples.
void MakeNoiseBurst();
void Resonate(float frequency, float damping);
void NormalizePeak(float peak);
void ClipSymmetric(float limit);
void ApplyEnvelope(std::int32_t fadeIn, std::int32_t fadeOut);
// Converts SynthBuffer to PcmBuffer and loads it into a new buffer stored in `target`.
void UploadSound(AudioBuffer*& target);
// The raw tones of the chime and the buzzer, before their shaping.
void MakeChime();
void MakeBuzzer();

// A DirectSound volume (hundredths of a decibel, -10000..0) for a level of about 1 at full strength.
std::int32_t LevelToVolume(float level);

void PlayStroke(float level);
void PlayDrop();
void PlayScore();
void PlayFoul();
void PlayClick(float level);
void PlayThud(float level);
// Fades the voice levels by one 1 ms step.
void StepSound();
void ReleaseSound();

}  // namespace kuvo
