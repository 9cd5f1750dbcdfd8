#pragma once

#include <cstddef>
#include <vector>

// A complex discrete Fourier transform of a power-of-two length (16 or
// more) in single precision, in place on separate real and imaginary
// arrays, for the cabinet's partitioned convolution. Forward leaves bin k
// at Position(k), not at k: products of spectra do not care, and Inverse
// takes its input in that same order and gives time in natural order.
// Neither direction is normalised: Inverse(Forward(x)) is Size() * x.
// Tables are made once by the constructor; the transforms allocate nothing.
class CFft
{
public:
	explicit CFft(int iSize);

	int Size() const { return m_iSize; }
	int Position(int k) const { return m_aiPosition[static_cast<size_t>(k)]; }

	void Forward(float* pfRe, float* pfIm) const;
	void Inverse(float* pfRe, float* pfIm) const;

private:
	// The transforms, eight butterflies side by side where the spans allow
	// (bWide), else four; the same operations either way.
	template <bool bWide> void ForwardIn(float* pfRe, float* pfIm) const;
	template <bool bWide> void InverseIn(float* pfRe, float* pfIm) const;

	int m_iSize;
	// Per stage, from the widest butterflies down: cos and -sin of pi j / span.
	std::vector<float> m_afCos, m_afSin;
	std::vector<int> m_aiPosition;
};
