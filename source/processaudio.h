#pragma once

#include "MyEffect.h"

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

// Owns the thirteen blocks, their work buffers and the parameter table, and
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
	// How long the output keeps sounding after the input stops, at the
	// current settings: the delay's and the reverb's tails in series.
	double GetTailSeconds() const;

private:
	template <typename Fn> void ForEachEffect(Fn fn);

	const double* m_pdSampleRate = nullptr;
	int m_iParamCount = 0;
	int m_iBlockSize = 0;
	int m_iBufferCount = 0;
	ParamCell** m_afParams = nullptr;
	float** m_ppfBuffers = nullptr;
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
	const ParamCell* m_pfTempo = nullptr;
};
