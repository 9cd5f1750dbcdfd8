#pragma once

#include "MyEffect.h"
#include "SwitchFade.h"
#include "brontalparams.h"
#include "sdkgap/audioeffect.h"

#include "pluginterfaces/vst/ivstparameterchanges.h"

#include <atomic>

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
	// The host's queue of points for a level in this block, read as the
	// block reaches their offsets.
	struct LevelPoints
	{
		int iId;
		IParamValueQueue* pQueue;
		int32 iPoints;
		int32 iNextPoint;
	};
	static constexpr int kNumLevels = kNumGlidingLevels;

	void ApplyParameterChanges(IParameterChanges* pChanges);
	// A pedal's points set its switch, which is reported back as moved.
	void ApplyPedals(IParameterChanges* pChanges, IParameterChanges* pOutput);
	void ReportIndicators(IParameterChanges* pChanges);
	// Applies the points of the queues due at iOffset; returns how many
	// samples from there run before the next point.
	int32 TakePointsAt(int32 iOffset, int32 iCount);
	// Every level at its last point: the block is not played through.
	void TakeAllPoints();
	// One block's channels: what the chain reads, the dry sound the bypass
	// fades to, and the outputs.
	struct ChainChannels
	{
		const float* pfInLeft;
		const float* pfInRight;
		const float* pfDryLeft;
		const float* pfDryRight;
		float* pfOutLeft;
		float* pfOutRight;
	};
	bool RunChain(const ChainChannels& io, int32 iCount);
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

	LevelPoints m_aLevelPoints[kNumLevels];
	// Set where the next block must take every value at once: activation,
	// a new setup, a loaded state (from the host's main thread).
	std::atomic<bool> m_bSnapPending{true};
	// Processing (on) against the host's bypass (off).
	CSwitchFade m_processingFade;
	// The input of a piece, kept for the bypass crossfade: the output may be
	// the very buffer of the input.
	float* m_pfDryLeft = nullptr;
	float* m_pfDryRight = nullptr;
};

} // namespace Vst
} // namespace Steinberg
