#pragma once

// The parameter vocabulary shared by the host, the processor, the chain,
// the controller and the editor. Ids 1..19 are published; 0 and 20 only
// delimit the list.
enum
{
	kParamListStart = 0,
	kInputSelection,
	kGateCompOnOff,
	kCompressorLevel,
	kDistortionOnOff,
	kDistortionLevel,
	kStereoEnhancerOnOff,
	kDelayOnOff,
	kModulationOnOff,
	kChorusSpeed,
	kReverbOnOff,
	kDelayLevel,
	kReverbLevel,
	kOutputLeftVumeter,
	kOutputRightVumeter,
	kInputClippingLed,
	kOutputClippingLed,
	kCompressionLed,
	kButton1,
	kBypass,
	kParamListEnd,
	kNumParams
};

constexpr int kFirstParam = kInputSelection;
constexpr int kLastParam = kBypass;
constexpr int kFirstIndicator = kOutputLeftVumeter;
constexpr int kLastIndicator = kCompressionLed;
constexpr int kNumIndicators = kLastIndicator - kFirstIndicator + 1;

// UTF-16 titles indexed by id, delimiters included.
extern const char16_t* const awszParamTitles[kNumParams];
// Normalised defaults indexed by id (0 for the delimiters).
extern const float kDefaultParamValues[kNumParams];

// A switch is off only when it compares equal to 0; anything else, NaN
// included, is on.
inline bool IsSwitchOn(float fValue)
{
	return !(fValue == 0.0f);
}
