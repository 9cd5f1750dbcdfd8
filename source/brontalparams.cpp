#include "brontalparams.h"

const char16_t* const awszParamTitles[kNumParams] = {
	u"Start Of the parameters list",
	u"Input Selection",
	u"Gate/Compressor ON OFF",
	u"Compressor Level",
	u"Distortion ON OFF",
	u"Distortion Level",
	u"Stereo Enhancer ON OFF",
	u"Delay ON OFF",
	u"Modulation ON OFF",
	u"Chorus Speed",
	u"Reverb ON OFF",
	u"Delay Level",
	u"Reverb Level",
	u"Output Left Vumeter",
	u"Output Right Vumeter",
	u"Input Clipping Led",
	u"Ouput Clipping Led",
	u"Compression Led",
	u"Button1",
	u"Bypass",
	u"End Of the parameters list",
};

const float kDefaultParamValues[kNumParams] = {
	0.0f,  // kParamListStart
	1.0f,  // kInputSelection
	1.0f,  // kGateCompOnOff
	0.8f,  // kCompressorLevel
	1.0f,  // kDistortionOnOff
	0.55f, // kDistortionLevel
	0.0f,  // kStereoEnhancerOnOff
	1.0f,  // kDelayOnOff
	1.0f,  // kModulationOnOff
	0.1f,  // kChorusSpeed
	1.0f,  // kReverbOnOff
	0.75f, // kDelayLevel
	0.55f, // kReverbLevel
	0.0f,  // kOutputLeftVumeter
	0.0f,  // kOutputRightVumeter
	0.0f,  // kInputClippingLed
	0.0f,  // kOutputClippingLed
	0.0f,  // kCompressionLed
	0.0f,  // kButton1
	0.0f,  // kBypass
	0.0f,  // kParamListEnd
};
