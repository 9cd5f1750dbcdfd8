#pragma once

#include "MyEffect.h"
#include "brontalparams.h"
#include "sdkgap/audioeffect.h"

class CProcessAudio;

namespace Steinberg {
namespace Vst {

// The audio processor: owns the parameter cells and the chain, feeds it the
// host's blocks and reports the meters and indicators back to the host.
class Brontal : public AudioEffect, public IProcessContextRequirements
{
public:
	Brontal();
	~Brontal() override;

	static FUnknown* createInstance(void* /*context*/) { return static_cast<IAudioProcessor*>(new Brontal); }

	tresult PLUGIN_API initialize(FUnknown* context) SMTG_OVERRIDE;
	tresult PLUGIN_API setBusArrangements(SpeakerArrangement* inputs, int32 numIns, SpeakerArrangement* outputs,
	                                      int32 numOuts) SMTG_OVERRIDE;
	tresult PLUGIN_API setupProcessing(ProcessSetup& setup) SMTG_OVERRIDE;
	tresult PLUGIN_API setActive(TBool state) SMTG_OVERRIDE;
	tresult PLUGIN_API process(ProcessData& data) SMTG_OVERRIDE;
	uint32 PLUGIN_API getTailSamples() SMTG_OVERRIDE;
	tresult PLUGIN_API getState(IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API setState(IBStream* state) SMTG_OVERRIDE;
	tresult PLUGIN_API notify(IMessage* message) SMTG_OVERRIDE;
	tresult receiveText(const char8* text) SMTG_OVERRIDE;
	// The delay follows the host's tempo; nothing else of the context is read.
	uint32 PLUGIN_API getProcessContextRequirements() SMTG_OVERRIDE { return kNeedTempo; }

	OBJ_METHODS(Brontal, AudioEffect)
	DEFINE_INTERFACES
		DEF_INTERFACE(IProcessContextRequirements)
	END_DEFINE_INTERFACES(AudioEffect)
	REFCOUNT_METHODS(AudioEffect)

private:
	float GetCell(int iId) const { return afParamValues[iId].load(std::memory_order_relaxed); }
	void SetCell(int iId, float fValue) { afParamValues[iId].store(fValue, std::memory_order_relaxed); }
	void ApplyParameterChanges(IParameterChanges* pChanges);
	void ReportIndicators(IParameterChanges* pChanges);
	bool RunChain(const float* pfInLeft, const float* pfInRight, float* pfOutLeft, float* pfOutRight, int32 iCount);
	void ReplaceBusses(const TChar* szIn, SpeakerArrangement inArr, const TChar* szOut, SpeakerArrangement outArr);

	ParamCell afParamValues[kNumParams];
	CProcessAudio* pAudioProcess;
	float afLastMeterValues[kNumIndicators];
	// Read by the delay on the audio thread and for the tail on the host's.
	ParamCell fTempo;

	// Samples the chain must still run on silent input for the delay and
	// reverb to ring out before the silence flags are passed on.
	int64 m_llTailRemaining = 0;
	// Zero input while ringing out, and the unused second output of a mono bus.
	float* m_pfScratchIn = nullptr;
	float* m_pfScratchOut = nullptr;
};

} // namespace Vst
} // namespace Steinberg
