#pragma once

#include "brontalcore.h"
#include "programs.h"
#include "sdkgap/audioeffect.h"

#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace Steinberg {
namespace Vst {

// The VST 3 processor: hands the host's buses, queues and context to the
// core and reports the meters and indicators back to the host.
class Brontal : public AudioEffect, public IProcessContextRequirements
{
public:
	Brontal();

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
	// A level's queue in this block, read by the core as it reaches the
	// points' offsets.
	class QueuePoints final : public brontal::ILevelPoints
	{
	public:
		IParamValueQueue* pQueue = nullptr;
		int32 Count() const override { return pQueue->getPointCount(); }
		bool Get(int32 iIndex, int32& iOffset, double& dValue) const override
		{
			return pQueue->getPoint(iIndex, iOffset, dValue) == kResultTrue;
		}
	};

	void ApplyParameterChanges(IParameterChanges* pChanges);
	// A program chosen by the host (its program menu, a MIDI program change)
	// sets the program's settings, which fade and glide as any change does.
	void ApplyProgramChange(IParameterChanges* pChanges);
	// A pedal's points set its switch, which is reported back as moved.
	void ApplyPedals(IParameterChanges* pChanges, IParameterChanges* pOutput);
	void ReportIndicators(IParameterChanges* pChanges);
	void ReplaceBusses(const TChar* szIn, SpeakerArrangement inArr, const TChar* szOut, SpeakerArrangement outArr);

	brontal::CBrontalCore m_core;
	brontal::CPrograms m_programs;
	QueuePoints m_aQueues[kNumGlidingLevels];
};

} // namespace Vst
} // namespace Steinberg
