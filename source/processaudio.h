#pragma once

#include "MyEffect.h"
#include "ResponseExchange.h"
#include "SwitchFade.h"

class CEffectSourceSelector;
class CGainDEntree;
class CComputeInputVumeter;
class CComputeOutputVumeters;
class CMyComp;
class CMyEqu;
class CMyDisto;
class CMyConvolution;
class CMyChorus;
class CMyDelay;
class CMyReverb;
class CTuner;

// Owns the fourteen blocks, their work buffers and the parameter table, and
// runs the blocks in their fixed order, each stage writing a fresh pair of
// buffers so no stage works in place.
class CProcessAudio
{
public:
	CProcessAudio();
	~CProcessAudio();
	CProcessAudio(const CProcessAudio&) = delete;
	CProcessAudio& operator=(const CProcessAudio&) = delete;

	int SetBlockSize(int iBlockSize);
	int SetSampleRate(const double* pdSampleRate);
	int SetBufferCount(int iBufferCount);
	int SetParamCount(int iParamCount);
	int SetTempo(const ParamCell* pfTempo);
	int Init();
	int SetParamPointer(int iId, ParamCell* pfValue);
	int GetParams(ParamCell*** pafParams) const;
	int Reset();
	// Every block takes its switches and levels at once at its next Process.
	void Snap();
	// Lets every block derive its lengths from the rate now behind the
	// sample-rate pointer, then clears them.
	int SampleRateChanged();
	int Process(const float* pfInLeft, const float* pfInRight, float* pfOutLeft, float* pfOutRight, int iCount);
	int FreeBuffers();

	int GetBlockSize() const { return m_iBlockSize; }
	// Samples the chain must run, after standing still, before every block's
	// short memory holds the present signal again (the longest of theirs).
	int MemorySamples() const;
	// How long the output keeps sounding after the input stops, at the
	// current settings: the delay's and the reverb's tails in series.
	double GetTailSeconds() const;

	// Where the main thread offers the player's cabinet response (and
	// frees the ones let go); the chain takes it at its next block,
	// crossfading, or at once after Reset.
	CResponseExchange& Responses() { return m_responses; }

	// Work buffers the chain needs: a pair for what each stage writes (a
	// drive set's four stages take turns on two pairs of its own).
	static constexpr int kBufferCount = 22;

private:
	// Two channels of one chain block.
	struct Pair
	{
		float* pf1;
		float* pf2;
	};
	// The work buffers by what they hold.
	struct Stages
	{
		Pair input;      // the host's input, every sample finite and bounded
		Pair selected;   // the source selector's
		Pair gained;     // the input gain's
		Pair compressed; // the gate and compressor's
		Pair drive[2][2];
		Pair chorused;
		Pair delayed;
		Pair reverberated;
	};
	static_assert(sizeof(Stages) == kBufferCount * sizeof(float*), "one pair of buffers for every stage's output");

	// The four stages that the distortion switch voices (first equaliser,
	// distortion, cabinet, second equaliser), with the switch as they hear
	// it: the chain's parameter table but for that one cell.
	struct DriveStages
	{
		CMyEqu* pEquPre;
		CMyDisto* pDisto;
		CMyConvolution* pConvolution;
		CMyEqu* pEquPost;
		ParamCell** afParams;
		ParamCell fSwitch;
	};

	template <typename Fn> void ForEachEffect(Fn fn) const;
	// Runs one set of the four stages from in, ping-ponging between its two
	// pairs; the result is in the second.
	static int RunDriveStages(DriveStages& stages, const Pair& in, const Pair (&pairs)[2], int iCount);
	// Lets the response left behind go once no cabinet hears it, then
	// takes a waiting one.
	void ExchangeResponses(bool bAtOnce);

	const double* m_pdSampleRate = nullptr;
	int m_iParamCount = 0;
	int m_iBlockSize = 0;
	int m_iBufferCount = 0;
	ParamCell** m_afParams = nullptr;
	float** m_ppfBuffers = nullptr;
	Stages m_stages{};
	CEffectSourceSelector* m_pSourceSelector = nullptr;
	CGainDEntree* m_pInputGain = nullptr;
	CComputeInputVumeter* m_pInputVumeter = nullptr;
	CMyComp* m_pComp = nullptr;
	CMyEqu* m_pEquPre = nullptr;
	CMyEqu* m_pEquPost = nullptr;
	CMyDisto* m_pDisto = nullptr;
	CMyChorus* m_pChorus = nullptr;
	CMyDelay* m_pDelay = nullptr;
	CMyReverb* m_pReverb = nullptr;
	CComputeOutputVumeters* m_pOutputVumeters = nullptr;
	CMyComp* m_pSaturator = nullptr;
	CMyConvolution* m_pConvolution = nullptr;
	CTuner* m_pTuner = nullptr;
	const ParamCell* m_pfTempo = nullptr;

	// The distortion switch changes four stages at once. One set of them
	// (the blocks above, or their twins) is heard; a change fades from it
	// to the other set, cleared and voiced the new way, which is then heard.
	CMyEqu* m_pEquPreTwin = nullptr;
	CMyDisto* m_pDistoTwin = nullptr;
	CMyConvolution* m_pConvolutionTwin = nullptr;
	CMyEqu* m_pEquPostTwin = nullptr;
	DriveStages m_aDrive[2];
	int m_iDriveHeard = 0;
	CSwitchFade m_driveFade;

	CResponseExchange m_responses;
	// The response heard and the one faded from (nullptr: the built-in mix);
	// the chain owns them until it lets them go.
	CPlayerResponse* m_pHeardResponse = nullptr;
	CPlayerResponse* m_pLeavingResponse = nullptr;
	bool m_bResponseChanging = false;
};
