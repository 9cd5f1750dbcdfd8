#pragma once

// What every plug-in format's processor does alike: the parameter cells and
// the chain behind them, the host's values made safe, the host's bypass and
// its fade, silence and the tail, the indicators. A format's shell only
// translates its host's calls into these.

#include "MyEffect.h"
#include "SwitchFade.h"
#include "brontalparams.h"

#include <atomic>
#include <cstdint>
#include <memory>

class CProcessAudio;

namespace brontal {

struct LoadedIr;

// One host block: channel pointers and per-channel silence bits (channel i is
// bit i; a host that knows no such flags passes 0).
struct AudioBlock
{
	int32_t iInChannels;
	const float* const* ppfIn;
	uint64_t uInSilent;
	int32_t iOutChannels;
	float* const* ppfOut;
	// Written by Process: the output channels that hold silence.
	uint64_t uOutSilent;
	int32_t iCount;
};

// The host's points for one level in the current block, in offset order.
class ILevelPoints
{
public:
	virtual int32_t Count() const = 0;
	// False when the host cannot deliver the point.
	virtual bool Get(int32_t iIndex, int32_t& iOffset, double& dValue) const = 0;

protected:
	~ILevelPoints() = default;
};

class CBrontalCore
{
public:
	enum class Result
	{
		Flushed, // no audio: parameters only, outputs untouched
		Quiet,   // outputs written without the chain (bypassed or silent)
		Played,  // the chain ran; the indicators are fresh
		Failed
	};

	CBrontalCore();
	~CBrontalCore();
	CBrontalCore(const CBrontalCore&) = delete;
	CBrontalCore& operator=(const CBrontalCore&) = delete;

	float GetParam(int iId) const { return m_afParamValues[iId].load(std::memory_order_relaxed); }
	// A host's or a state's value, sanitised; false (and nothing changed) for NaN.
	bool SetParam(int iId, double dValue);
	// One point of a pedal: sets the switch it names (PedalSwitchValue);
	// anything but a pedal's id, or NaN, changes nothing.
	void ApplyPedal(int iId, double dValue);
	// Tempo in BPM; anything but a positive finite number is ignored.
	void SetTempo(double dTempo);
	double SampleRate() const { return m_dSampleRate; }
	// The caller has checked the rate is positive and finite.
	void SetSampleRate(double dSampleRate);
	// Clears every block's memory; the next block takes every value at once.
	void Reset();
	// Every indicator back to its default (the tuner's cents at their middle).
	void ClearIndicators();
	// The next block takes every value at once (a loaded state).
	void SnapNext() { m_bSnapPending.store(true); }
	uint32_t TailSamples() const;

	// The player's cabinet response (nullptr: the built-in mix), prepared
	// here for the rate in use and handed to the chain, which crossfades to
	// it; prepared again from the samples as loaded at each new rate. Main
	// thread, like Cabinet and CollectCabinets (which frees what the chain
	// let go).
	void SetCabinet(std::unique_ptr<LoadedIr> pCabinet);
	const LoadedIr* Cabinet() const { return m_pCabinet.get(); }
	void CollectCabinets();

	// The index of a level whose points are taken at their offsets; -1 for
	// the rest, which take the host's last point for the whole block.
	int LevelSlot(int iId) const;
	// Forgets the last block's level points.
	void BeginBlock();
	// pPoints lives until the end of the block's Process or Flush.
	void SetLevelPoints(int iSlot, const ILevelPoints* pPoints);
	// No audio this call: every pending point applies now.
	void Flush();
	Result Process(AudioBlock& block);
	// Indicator j (of kIndicatorIds) has changed during the last block,
	// played or quiet.
	bool IndicatorChanged(int j) const { return GetParam(kIndicatorIds[j]) != m_afLastIndicators[j]; }

private:
	void RememberIndicators();

	struct LevelPoints
	{
		int iId;
		const ILevelPoints* pPoints;
		int32_t iPoints;
		int32_t iNextPoint;
	};
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
	static constexpr int kNumLevels = kNumGlidingLevels;

	void SetCell(int iId, float fValue) { m_afParamValues[iId].store(fValue, std::memory_order_relaxed); }
	// Applies the points due at iOffset; returns how many samples from there
	// run before the next point.
	int32_t TakePointsAt(int32_t iOffset, int32_t iCount);
	// Every level at its last point: the block is not played through.
	void TakeAllPoints();
	bool RunChain(const ChainChannels& io, int32_t iCount);

	ParamCell m_afParamValues[kNumParams];
	float m_afLastIndicators[kNumIndicators] = {};
	// Read by the delay on the audio thread and for the tail on the host's.
	ParamCell m_fTempo{120.0f};
	double m_dSampleRate = 44100.0;
	std::unique_ptr<CProcessAudio> m_pChain;

	// Samples the chain must still run on silent input for the delay and
	// reverb to ring out before the silence flags are passed on.
	int64_t m_llTailRemaining = 0;
	// Zero input while ringing out, and the unused second output of a mono bus.
	std::unique_ptr<float[]> m_pfScratchIn;
	std::unique_ptr<float[]> m_pfScratchOut;

	LevelPoints m_aLevelPoints[kNumLevels];
	// Set where the next block must take every value at once: activation,
	// a new setup, a loaded state (from the host's main thread).
	std::atomic<bool> m_bSnapPending{true};
	// Processing (on) against the host's bypass (off).
	CSwitchFade m_processingFade;
	// The input of a piece, kept for the bypass crossfade: the output may be
	// the very buffer of the input.
	std::unique_ptr<float[]> m_pfDryLeft;
	std::unique_ptr<float[]> m_pfDryRight;

	void OfferCabinet();
	// The cabinet as loaded, and the energy a normalised one is given.
	std::unique_ptr<LoadedIr> m_pCabinet;
	double m_dCabinetEnergy;
};

} // namespace brontal
