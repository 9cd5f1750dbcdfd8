#include "IrConvolver.h"

#include "DirectTaps.h"
#include "cpufeatures.h"
#include "simd.h"

#include <algorithm>
#include <cmath>

// One level: partitions of iSize taps from iSize on, transformed at twice
// that length. Its window holds the previous and the current block of
// input; at the end of each block the window's spectrum enters a ring
// (newest at iHead), and partition j times the spectrum j blocks old,
// summed and back in time, is the level's share of the next block's
// output (the second half of the circular result: afTail).
//
// A stereo response is complex, so its spectra are whole (2 iSize bins in
// the transform's order). A mono one is real, and so is the input: its
// spectra are kept as bins 0 to iSize in natural order (the rest are their
// mirror images), from a transform of half the length that takes even
// samples as real and odd ones as imaginary parts.
struct CIrConvolver::Level
{
	Level(int iSize_, const float* pfLeft, const float* pfRight, int iEnd)
		: iSize(iSize_)
		, bReal(!pfRight)
		, iBins(bReal ? iSize_ + 8 : 2 * iSize_)
		, iPartitions((iEnd - iSize_ + iSize_ - 1) / iSize_)
		, iSlices(iSize_ / kDirect)
		, fft(bReal ? iSize_ : 2 * iSize_)
		, afPartRe(static_cast<size_t>(iPartitions * iBins))
		, afPartIm(afPartRe.size())
		, afLineRe(afPartRe.size())
		, afLineIm(afPartRe.size())
		, afWindow(static_cast<size_t>(2 * iSize_))
		, afAccRe(static_cast<size_t>(iBins))
		, afAccIm(static_cast<size_t>(iBins))
		, afTailLeft(static_cast<size_t>(iSize))
		, afTailRight(static_cast<size_t>(iSize))
	{
		if (bReal)
		{
			afHalfRe.resize(static_cast<size_t>(iSize));
			afHalfIm.resize(static_cast<size_t>(iSize));
			afNatRe.resize(static_cast<size_t>(iSize + 1));
			afNatIm.resize(static_cast<size_t>(iSize + 1));
			afCos.resize(static_cast<size_t>(iSize));
			afSin.resize(static_cast<size_t>(iSize));
			for (int k = 0; k < iSize; ++k)
			{
				const double dAngle = 3.14159265358979323846 * k / iSize;
				afCos[static_cast<size_t>(k)] = static_cast<float>(std::cos(dAngle));
				afSin[static_cast<size_t>(k)] = static_cast<float>(std::sin(dAngle));
			}
		}
		// 1 / (2 iSize) undoes the unnormalised inverse.
		const float fScale = 1.0f / static_cast<float>(2 * iSize);
		std::vector<float> afTaps(static_cast<size_t>(2 * iSize));
		for (int p = 0; p < iPartitions; ++p)
		{
			float* pfRe = &afPartRe[static_cast<size_t>(p * iBins)];
			float* pfIm = &afPartIm[static_cast<size_t>(p * iBins)];
			const int iFirst = iSize + p * iSize;
			std::fill(afTaps.begin(), afTaps.end(), 0.0f);
			for (int k = iFirst; k < std::min(iFirst + iSize, iEnd); ++k)
			{
				afTaps[static_cast<size_t>(k - iFirst)] = pfLeft[k] * fScale;
				if (!bReal)
					pfIm[k - iFirst] = pfRight[k] * fScale;
			}
			if (bReal)
				RealForward(afTaps.data(), pfRe, pfIm);
			else
			{
				std::copy(afTaps.begin(), afTaps.begin() + iSize, pfRe);
				fft.Forward(pfRe, pfIm);
			}
		}
	}

	void Clear()
	{
		for (std::vector<float>* p : {&afLineRe, &afLineIm, &afWindow, &afAccRe, &afAccIm, &afTailLeft, &afTailRight})
			std::fill(p->begin(), p->end(), 0.0f);
		iHead = 0;
		iPos = 0;
	}

	// Bins 0 to iSize of the spectrum of 2 iSize real samples: z = even +
	// i odd through the half-length transform, brought into natural order,
	// then X[k] = (Z[k] + conj Z[M-k]) / 2 - i W^k (Z[k] - conj Z[M-k]) / 2,
	// W = exp(-i pi / M), eight bins at a time.
	__attribute__((always_inline)) void RealForward(const float* pfSignal, float* pfXr, float* pfXi)
	{
		using simd::V8f;
		const int M = iSize;
		for (int n = 0; n < M; ++n)
		{
			afHalfRe[static_cast<size_t>(n)] = pfSignal[2 * n];
			afHalfIm[static_cast<size_t>(n)] = pfSignal[2 * n + 1];
		}
		fft.Forward(afHalfRe.data(), afHalfIm.data());
		for (int k = 0; k < M; ++k)
		{
			const size_t at = static_cast<size_t>(fft.Position(k));
			afNatRe[static_cast<size_t>(k)] = afHalfRe[at];
			afNatIm[static_cast<size_t>(k)] = afHalfIm[at];
		}
		afNatRe[static_cast<size_t>(M)] = afNatRe[0];
		afNatIm[static_cast<size_t>(M)] = afNatIm[0];
		for (int k = 0; k < M; k += 8)
		{
			V8f vZr, vZi, vMr, vMi, c, sn;
			__builtin_memcpy(&vZr, &afNatRe[static_cast<size_t>(k)], sizeof vZr);
			__builtin_memcpy(&vZi, &afNatIm[static_cast<size_t>(k)], sizeof vZi);
			LoadMirror(afNatRe.data(), M - k, vMr);
			LoadMirror(afNatIm.data(), M - k, vMi);
			__builtin_memcpy(&c, &afCos[static_cast<size_t>(k)], sizeof c);
			__builtin_memcpy(&sn, &afSin[static_cast<size_t>(k)], sizeof sn);
			const V8f fPr = vZr + vMr, fPi = vZi - vMi, fQr = vZr - vMr, fQi = vZi + vMi;
			const V8f vXr = 0.5f * (fPr + c * fQi - sn * fQr);
			const V8f vXi = 0.5f * (fPi - c * fQr - sn * fQi);
			__builtin_memcpy(pfXr + k, &vXr, sizeof vXr);
			__builtin_memcpy(pfXi + k, &vXi, sizeof vXi);
		}
		pfXr[M] = afNatRe[0] - afNatIm[0];
		pfXi[M] = 0.0f;
	}

	// Entries iAt, iAt - 1, ..., iAt - 7 of pf.
	__attribute__((always_inline)) static void LoadMirror(const float* pf, int iAt, simd::V8f& v)
	{
		simd::V8f vForward;
		__builtin_memcpy(&vForward, pf + iAt - 7, sizeof vForward);
		v = __builtin_shufflevector(vForward, vForward, 7, 6, 5, 4, 3, 2, 1, 0);
	}

	// The second half of the real signal whose bins 0 to iSize are in the
	// accumulators (scaled by 1 / (2 iSize) already), into pfOut: Z[k] =
	// (Y[k] + conj Y[M-k]) + i W^-k (Y[k] - conj Y[M-k]) back through the
	// half-length transform gives even samples as real, odd as imaginary parts.
	__attribute__((always_inline)) void RealInverse(float* pfOut)
	{
		using simd::V8f;
		const int M = iSize;
		for (int k = 0; k < M; k += 8)
		{
			V8f vYr, vYi, vMr, vMi, c, sn;
			__builtin_memcpy(&vYr, &afAccRe[static_cast<size_t>(k)], sizeof vYr);
			__builtin_memcpy(&vYi, &afAccIm[static_cast<size_t>(k)], sizeof vYi);
			LoadMirror(afAccRe.data(), M - k, vMr);
			LoadMirror(afAccIm.data(), M - k, vMi);
			__builtin_memcpy(&c, &afCos[static_cast<size_t>(k)], sizeof c);
			__builtin_memcpy(&sn, &afSin[static_cast<size_t>(k)], sizeof sn);
			const V8f fAr = vYr + vMr, fAi = vYi - vMi, fBr = vYr - vMr, fBi = vYi + vMi;
			const V8f vZr = fAr - c * fBi - sn * fBr;
			const V8f vZi = fAi + c * fBr - sn * fBi;
			__builtin_memcpy(&afNatRe[static_cast<size_t>(k)], &vZr, sizeof vZr);
			__builtin_memcpy(&afNatIm[static_cast<size_t>(k)], &vZi, sizeof vZi);
		}
		for (int k = 0; k < M; ++k)
		{
			const size_t at = static_cast<size_t>(fft.Position(k));
			afHalfRe[at] = afNatRe[static_cast<size_t>(k)];
			afHalfIm[at] = afNatIm[static_cast<size_t>(k)];
		}
		fft.Inverse(afHalfRe.data(), afHalfIm.data());
		for (int n = M / 2; n < M; ++n)
		{
			pfOut[2 * n - M] = afHalfRe[static_cast<size_t>(n)];
			pfOut[2 * n + 1 - M] = afHalfIm[static_cast<size_t>(n)];
		}
	}

	// Adds partition j times the spectrum j - 1 blocks before the newest,
	// for j from 1 on, over bins [iFrom, iTo): the part of the next block's
	// sum that is known already.
	__attribute__((always_inline)) void SumKnown(int iFrom, int iTo)
	{
		// Partition by partition, so that each pass streams through memory.
		int iSlot = iHead;
		for (int j = 1; j < iPartitions; ++j)
		{
			MultiplyAdd(j, iSlot, iFrom, iTo);
			iSlot = iSlot == 0 ? iPartitions - 1 : iSlot - 1;
		}
	}

	// Slice s of iSlices: whole vectors of bins, the last up to the end.
	int SliceStart(int s) const { return s == iSlices ? iBins : (s * (iBins / 8) / iSlices) * 8; }

	// Adds partition j times the spectrum in slot iSlot over bins [iFrom, iTo).
	__attribute__((always_inline)) void MultiplyAdd(int j, int iSlot, int iFrom, int iTo)
	{
		using simd::V8f;
		const float* pfHr = &afPartRe[static_cast<size_t>(j * iBins)];
		const float* pfHi = &afPartIm[static_cast<size_t>(j * iBins)];
		const float* pfXr = &afLineRe[static_cast<size_t>(iSlot * iBins)];
		const float* pfXi = &afLineIm[static_cast<size_t>(iSlot * iBins)];
		float* pfAccRe = afAccRe.data();
		float* pfAccIm = afAccIm.data();
		for (int k = iFrom; k < iTo; k += 8)
		{
			V8f vHr, vHi, vXr, vXi, vAccRe, vAccIm;
			__builtin_memcpy(&vHr, pfHr + k, sizeof vHr);
			__builtin_memcpy(&vHi, pfHi + k, sizeof vHi);
			__builtin_memcpy(&vXr, pfXr + k, sizeof vXr);
			__builtin_memcpy(&vXi, pfXi + k, sizeof vXi);
			__builtin_memcpy(&vAccRe, pfAccRe + k, sizeof vAccRe);
			__builtin_memcpy(&vAccIm, pfAccIm + k, sizeof vAccIm);
			vAccRe += vHr * vXr - vHi * vXi;
			vAccIm += vHr * vXi + vHi * vXr;
			__builtin_memcpy(pfAccRe + k, &vAccRe, sizeof vAccRe);
			__builtin_memcpy(pfAccIm + k, &vAccIm, sizeof vAccIm);
		}
	}

	// The block is whole: its spectrum, the newest partition's product,
	// back in time, and the window moves on.
	__attribute__((always_inline)) void Finish()
	{
		iHead = iHead + 1 == iPartitions ? 0 : iHead + 1;
		float* pfRe = &afLineRe[static_cast<size_t>(iHead * iBins)];
		float* pfIm = &afLineIm[static_cast<size_t>(iHead * iBins)];
		if (bReal)
			RealForward(afWindow.data(), pfRe, pfIm);
		else
		{
			std::copy(afWindow.begin(), afWindow.end(), pfRe);
			std::fill(pfIm, pfIm + iBins, 0.0f);
			fft.Forward(pfRe, pfIm);
		}
		MultiplyAdd(0, iHead, 0, iBins);
		if (bReal)
			RealInverse(afTailLeft.data());
		else
		{
			fft.Inverse(afAccRe.data(), afAccIm.data());
			std::copy(afAccRe.begin() + iSize, afAccRe.end(), afTailLeft.begin());
			std::copy(afAccIm.begin() + iSize, afAccIm.end(), afTailRight.begin());
		}
		std::fill(afAccRe.begin(), afAccRe.end(), 0.0f);
		std::fill(afAccIm.begin(), afAccIm.end(), 0.0f);
		std::copy(afWindow.begin() + iSize, afWindow.end(), afWindow.begin());
		iPos = 0;
	}

	const int iSize;
	const bool bReal;
	const int iBins, iPartitions, iSlices;
	CFft fft;
	std::vector<float> afPartRe, afPartIm, afLineRe, afLineIm;
	std::vector<float> afWindow;
	std::vector<float> afAccRe, afAccIm;
	std::vector<float> afTailLeft, afTailRight;
	// The real path's half-length transform, the same in natural order (bin
	// iSize again at the end), and its twiddles cos, sin(pi k / iSize).
	std::vector<float> afHalfRe, afHalfIm, afNatRe, afNatIm, afCos, afSin;
	int iHead = 0;
	// Samples of the current block so far.
	int iPos = 0;
};

CIrConvolver::CIrConvolver(const std::vector<float>& afLeft, const std::vector<float>& afRight)
	: m_bStereo(!afRight.empty())
	, m_iTaps(static_cast<int>(afLeft.size()))
	, m_iDirect(std::min(m_iTaps, kDirect))
{
	for (int k = 0; k < m_iDirect; ++k)
	{
		m_adDirectLeft[k] = afLeft[static_cast<size_t>(k)];
		m_adDirectRight[k] = m_bStereo ? afRight[static_cast<size_t>(k)] : 0.0;
	}
	for (int iSize = kDirect; iSize < m_iTaps; iSize *= kLevelGrowth)
	{
		const bool bLast = iSize == kLargestPartition;
		const int iEnd = bLast ? m_iTaps : std::min(m_iTaps, iSize * kLevelGrowth);
		m_levels.push_back(std::make_unique<Level>(iSize, afLeft.data(), m_bStereo ? afRight.data() : nullptr, iEnd));
		if (bLast)
			break;
	}
}

CIrConvolver::~CIrConvolver() = default;

int CIrConvolver::LevelSize(int i) const
{
	return m_levels[static_cast<size_t>(i)]->iSize;
}

int CIrConvolver::LevelPartitions(int i) const
{
	return m_levels[static_cast<size_t>(i)]->iPartitions;
}

void CIrConvolver::Reset()
{
	std::fill(std::begin(m_adHistory), std::end(m_adHistory), 0.0);
	m_iPos = 0;
	for (const std::unique_ptr<Level>& pLevel : m_levels)
		pLevel->Clear();
}

template <bool bAvx2>
__attribute__((always_inline)) inline void CIrConvolver::Run(const float* pfIn, float* pfOutLeft, float* pfOutRight, int iCount)
{
	for (int iDone = 0; iDone < iCount;)
	{
		// Up to the next kDirect boundary, which every level's blocks share.
		const int n = std::min(iCount - iDone, kDirect - m_iPos);
		double* pdNow = m_adHistory + kDirect + m_iPos;
		for (int i = 0; i < n; ++i)
			pdNow[i] = ConvolutionInput(pfIn[iDone + i]);
		for (const std::unique_ptr<Level>& pLevel : m_levels)
			for (int i = 0; i < n; ++i)
				pLevel->afWindow[static_cast<size_t>(pLevel->iSize + pLevel->iPos + i)] = static_cast<float>(pdNow[i]);

		double adLeft[kDirect], adRight[kDirect];
		DirectTapsRun(m_adDirectLeft, m_iDirect, pdNow, adLeft, n);
		if (m_bStereo)
			DirectTapsRun(m_adDirectRight, m_iDirect, pdNow, adRight, n);
		for (const std::unique_ptr<Level>& pLevel : m_levels)
		{
			const float* pfTailLeft = pLevel->afTailLeft.data() + pLevel->iPos;
			const float* pfTailRight = pLevel->afTailRight.data() + pLevel->iPos;
			for (int i = 0; i < n; ++i)
				adLeft[i] += pfTailLeft[i];
			if (m_bStereo)
				for (int i = 0; i < n; ++i)
					adRight[i] += pfTailRight[i];
		}
		for (int i = 0; i < n; ++i)
		{
			pfOutLeft[iDone + i] = static_cast<float>(adLeft[i]);
			pfOutRight[iDone + i] = static_cast<float>(m_bStereo ? adRight[i] : adLeft[i]);
		}

		iDone += n;
		m_iPos += n;
		for (const std::unique_ptr<Level>& pLevel : m_levels)
			pLevel->iPos += n;
		if (m_iPos < kDirect)
			continue;
		m_iPos = 0;
		std::copy(m_adHistory + kDirect, m_adHistory + 2 * kDirect, m_adHistory);
		for (const std::unique_ptr<Level>& pLevel : m_levels)
		{
			// One slice of the known partitions every kDirect samples, the
			// last one as the block ends.
			const int iSlice = pLevel->iPos / kDirect - 1;
			pLevel->SumKnown(pLevel->SliceStart(iSlice), pLevel->SliceStart(iSlice + 1));
			if (pLevel->iPos == pLevel->iSize)
				pLevel->Finish();
		}
	}
}

void CIrConvolver::Process(const float* pfIn, float* pfOutLeft, float* pfOutRight, int iCount)
{
	RunBestBuild([&](auto avx2) BRONTAL_INLINE { Run<decltype(avx2)::value>(pfIn, pfOutLeft, pfOutRight, iCount); });
}
