#include "IrConvolver.h"

#include "DirectTaps.h"
#include "cpufeatures.h"
#include "simd.h"

#include <algorithm>
#include <cmath>

// The helpers give the AVX2 copy's wide vectors by value, always inlined.
#pragma GCC diagnostic ignored "-Wpsabi"

// One level: partitions of iSize taps from iSize on, transformed at twice
// that length. Its window holds the previous and the current block of
// input; at the end of each block the window's spectrum enters a ring
// (newest at iHead), and partition j times the spectrum j blocks old,
// summed and back in time, is the level's share of the next block's
// output (the second half of the circular result: afTail).
//
// A stereo response is complex, so its spectra are whole (2 iSize bins in
// the transform's order). A mono one is real, and so is the input: its
// spectra are kept as the half they determine, bins 0 to iSize - 1 where a
// transform of half the length leaves them (that transform takes even
// samples as real and odd ones as imaginary parts) and bin iSize after
// them. In that order the mirror image M - k of a bin k lies in the same
// run of positions between two powers of two, at the same distance from
// its other end, so from 16 on whole vectors of bins meet their mirror
// images in one reversed load; the first 16 take theirs from aiMirror.
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
			const int M = iSize;
			afHalfRe.resize(static_cast<size_t>(M + 1));
			afHalfIm.resize(static_cast<size_t>(M + 1));
			afCos.resize(static_cast<size_t>(M));
			afSin.resize(static_cast<size_t>(M));
			for (int k = 0; k < M; ++k)
			{
				const double dAngle = 3.14159265358979323846 * k / M;
				const size_t at = static_cast<size_t>(fft.Position(k));
				afCos[at] = static_cast<float>(std::cos(dAngle));
				afSin[at] = static_cast<float>(std::sin(dAngle));
				// Bin M, the mirror image of bin 0, sits at M.
				if (fft.Position(k) < kFirstRun)
					aiMirror[fft.Position(k)] = k == 0 ? M : fft.Position(M - k);
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

	// X[k] = (Z[k] + conj Z[M-k]) / 2 - i W^k (Z[k] - conj Z[M-k]) / 2,
	// W = exp(-i pi / M): a bin of the real signal from the half-length
	// transform's bin and its mirror image; in floats or eight at a time.
	template <typename V>
	__attribute__((always_inline)) static void Unfold(V zr, V zi, V mr, V mi, V c, V sn, V& xr, V& xi)
	{
		const V fPr = zr + mr, fPi = zi - mi, fQr = zr - mr, fQi = zi + mi;
		xr = 0.5f * (fPr + c * fQi - sn * fQr);
		xi = 0.5f * (fPi - c * fQr - sn * fQi);
	}

	// Z[k] = (Y[k] + conj Y[M-k]) + i W^-k (Y[k] - conj Y[M-k]): the
	// half-length transform's bin whose inverse gives even samples as real,
	// odd ones as imaginary parts.
	template <typename V>
	__attribute__((always_inline)) static void Fold(V yr, V yi, V mr, V mi, V c, V sn, V& zr, V& zi)
	{
		const V fAr = yr + mr, fAi = yi - mi, fBr = yr - mr, fBi = yi + mi;
		zr = fAr - c * fBi - sn * fBr;
		zi = fAi + c * fBr - sn * fBi;
	}

	// Entries iAt + 7, iAt + 6, ..., iAt of pf.
	__attribute__((always_inline)) static simd::V8f LoadReversed(const float* pf, int iAt)
	{
		const simd::V8f v = simd::Load<simd::V8f>(pf + iAt);
		return __builtin_shufflevector(v, v, 7, 6, 5, 4, 3, 2, 1, 0);
	}

	// Bins 0 to M - 1 of pfInRe, pfInIm (bin M at M) met with their mirror
	// images through step, into pfOutRe, pfOutIm, in the transform's order.
	template <typename Step>
	__attribute__((always_inline)) void WithMirrors(const float* pfInRe, const float* pfInIm, float* pfOutRe, float* pfOutIm,
	                                                const Step& step)
	{
		using simd::V8f;
		const int M = iSize;
		for (int p = 0; p < kFirstRun; ++p)
		{
			const int m = aiMirror[p];
			step(pfInRe[p], pfInIm[p], pfInRe[m], pfInIm[m], afCos[static_cast<size_t>(p)], afSin[static_cast<size_t>(p)],
			     pfOutRe[p], pfOutIm[p]);
		}
		for (int iRun = kFirstRun; iRun < M; iRun *= 2)
			for (int p = iRun; p < 2 * iRun; p += 8)
			{
				// Positions p.. meet 3 iRun - 1 - p downwards.
				const int iMirror = 3 * iRun - 8 - p;
				V8f vXr, vXi;
				step(simd::Load<V8f>(pfInRe + p), simd::Load<V8f>(pfInIm + p), LoadReversed(pfInRe, iMirror),
				     LoadReversed(pfInIm, iMirror), simd::Load<V8f>(&afCos[static_cast<size_t>(p)]),
				     simd::Load<V8f>(&afSin[static_cast<size_t>(p)]), vXr, vXi);
				simd::Store(pfOutRe + p, vXr);
				simd::Store(pfOutIm + p, vXi);
			}
	}

	// Bins 0 to iSize of the spectrum of 2 iSize real samples, in the
	// transform's order (bin iSize at iSize).
	__attribute__((always_inline)) void RealForward(const float* pfSignal, float* pfXr, float* pfXi)
	{
		using simd::V8f;
		const int M = iSize;
		for (int n = 0; n < M; n += 8)
		{
			const V8f a = simd::Load<V8f>(pfSignal + 2 * n), b = simd::Load<V8f>(pfSignal + 2 * n + 8);
			simd::Store(&afHalfRe[static_cast<size_t>(n)], __builtin_shufflevector(a, b, 0, 2, 4, 6, 8, 10, 12, 14));
			simd::Store(&afHalfIm[static_cast<size_t>(n)], __builtin_shufflevector(a, b, 1, 3, 5, 7, 9, 11, 13, 15));
		}
		fft.Forward(afHalfRe.data(), afHalfIm.data());
		// Z[M] is Z[0].
		afHalfRe[static_cast<size_t>(M)] = afHalfRe[0];
		afHalfIm[static_cast<size_t>(M)] = afHalfIm[0];
		WithMirrors(afHalfRe.data(), afHalfIm.data(), pfXr, pfXi, [](auto zr, auto zi, auto mr, auto mi, auto c, auto sn, auto& xr, auto& xi) BRONTAL_INLINE {
			Unfold(zr, zi, mr, mi, c, sn, xr, xi);
		});
		pfXr[M] = afHalfRe[0] - afHalfIm[0];
		pfXi[M] = 0.0f;
	}

	// The second half of the real signal whose bins 0 to iSize are in the
	// accumulators (scaled by 1 / (2 iSize) already), into pfOut.
	__attribute__((always_inline)) void RealInverse(float* pfOut)
	{
		using simd::V8f;
		const int M = iSize;
		WithMirrors(afAccRe.data(), afAccIm.data(), afHalfRe.data(), afHalfIm.data(),
		            [](auto yr, auto yi, auto mr, auto mi, auto c, auto sn, auto& zr, auto& zi) BRONTAL_INLINE {
			            Fold(yr, yi, mr, mi, c, sn, zr, zi);
		            });
		fft.Inverse(afHalfRe.data(), afHalfIm.data());
		for (int n = M / 2; n < M; n += 8)
		{
			const V8f r = simd::Load<V8f>(&afHalfRe[static_cast<size_t>(n)]), i = simd::Load<V8f>(&afHalfIm[static_cast<size_t>(n)]);
			simd::Store(pfOut + 2 * n - M, __builtin_shufflevector(r, i, 0, 8, 1, 9, 2, 10, 3, 11));
			simd::Store(pfOut + 2 * n - M + 8, __builtin_shufflevector(r, i, 4, 12, 5, 13, 6, 14, 7, 15));
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
	// The real path's half-length transform (one more entry: bin iSize),
	// its twiddles cos, sin(pi k / iSize) where bin k lies, and the
	// positions of the mirror images of the first kFirstRun positions.
	static constexpr int kFirstRun = 16;
	std::vector<float> afHalfRe, afHalfIm, afCos, afSin;
	int aiMirror[kFirstRun] = {};
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
		m_afDirectLeft[k] = afLeft[static_cast<size_t>(k)];
		m_afDirectRight[k] = m_bStereo ? afRight[static_cast<size_t>(k)] : 0.0f;
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
	std::fill(std::begin(m_afHistory), std::end(m_afHistory), 0.0f);
	m_iPos = 0;
	for (const std::unique_ptr<Level>& pLevel : m_levels)
		pLevel->Clear();
}

template <bool bAvx2>
__attribute__((always_inline)) inline void CIrConvolver::Run(const float* pfIn, float* pfOutLeft, float* pfOutRight, int iCount)
{
	// Eight sums under way in wide registers; the plain copy's narrow ones
	// hold half as many.
	constexpr int kWide = bAvx2 ? 8 : 4;
	for (int iDone = 0; iDone < iCount;)
	{
		// Up to the next kDirect boundary, which every level's blocks share.
		const int n = std::min(iCount - iDone, kDirect - m_iPos);
		float* pfNow = m_afHistory + kDirect + m_iPos;
		for (int i = 0; i < n; ++i)
			pfNow[i] = ConvolutionInput(pfIn[iDone + i]);
		for (const std::unique_ptr<Level>& pLevel : m_levels)
			std::copy(pfNow, pfNow + n, pLevel->afWindow.begin() + pLevel->iSize + pLevel->iPos);

		float* pfLeft = pfOutLeft + iDone;
		float* pfRight = pfOutRight + iDone;
		DirectTapsRun<simd::V8f, kWide>(m_afDirectLeft, m_iDirect, pfNow, pfLeft, n);
		if (m_bStereo)
			DirectTapsRun<simd::V8f, kWide>(m_afDirectRight, m_iDirect, pfNow, pfRight, n);
		for (const std::unique_ptr<Level>& pLevel : m_levels)
		{
			const float* pfTailLeft = pLevel->afTailLeft.data() + pLevel->iPos;
			const float* pfTailRight = pLevel->afTailRight.data() + pLevel->iPos;
			for (int i = 0; i < n; ++i)
				pfLeft[i] += pfTailLeft[i];
			if (m_bStereo)
				for (int i = 0; i < n; ++i)
					pfRight[i] += pfTailRight[i];
		}
		if (!m_bStereo)
			std::copy(pfLeft, pfLeft + n, pfRight);

		iDone += n;
		m_iPos += n;
		for (const std::unique_ptr<Level>& pLevel : m_levels)
			pLevel->iPos += n;
		if (m_iPos < kDirect)
			continue;
		m_iPos = 0;
		std::copy(m_afHistory + kDirect, m_afHistory + 2 * kDirect, m_afHistory);
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
