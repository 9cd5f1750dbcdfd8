#pragma once

#include <cstdint>

// The vectors of the hot loops (the compilers' vector extensions) and the
// few helpers they share. The helpers are always inlined into both copies
// of a loop (cpufeatures.h), so no call ever passes a vector between the
// plain and the AVX2 conventions, whatever -Wpsabi says of those that take
// or give the 32-byte vectors by value (here, and in the files that use
// them so, as GCC warns where they are used too).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
namespace simd {

typedef float V4f __attribute__((vector_size(16)));
typedef int32_t V4i __attribute__((vector_size(16)));
typedef uint32_t V4u __attribute__((vector_size(16)));
typedef double V2d __attribute__((vector_size(16)));
typedef int64_t V2l __attribute__((vector_size(16)));
typedef float V8f __attribute__((vector_size(32)));
typedef double V4d __attribute__((vector_size(32)));
typedef int64_t V4l __attribute__((vector_size(32)));

// What comparing two V gives: all ones in the lanes where it holds.
template <typename V> using MaskOf = decltype(V{} < V{});

// The bits of one vector as another type of the same size. CopyBits passes
// both by reference, so it needs no warning turned off.
template <typename To, typename From> __attribute__((always_inline)) inline void CopyBits(To& to, const From& from)
{
	static_assert(sizeof(To) == sizeof(From), "same size");
	__builtin_memcpy(&to, &from, sizeof to);
}

template <typename To, typename From> __attribute__((always_inline)) inline To BitCast(const From& v)
{
	To t;
	CopyBits(t, v);
	return t;
}

// a in the lanes of the mask, b in the others.
template <typename V> __attribute__((always_inline)) inline V Select(MaskOf<V> mask, V a, V b)
{
	return BitCast<V>((mask & BitCast<MaskOf<V>>(a)) | (~mask & BitCast<MaskOf<V>>(b)));
}

// The sign bits of V's lanes (those of -0).
template <typename V> __attribute__((always_inline)) inline MaskOf<V> SignBits()
{
	return BitCast<MaskOf<V>>(-V{});
}

template <typename V> __attribute__((always_inline)) inline V Abs(V v)
{
	return BitCast<V>(BitCast<MaskOf<V>>(v) & ~SignBits<V>());
}

// v with its sign flipped in the lanes where s is negative.
template <typename V> __attribute__((always_inline)) inline V WithSignOf(V s, V v)
{
	return BitCast<V>(BitCast<MaskOf<V>>(v) ^ (BitCast<MaskOf<V>>(s) & SignBits<V>()));
}

// Unaligned loads and stores.
template <typename V, typename T> __attribute__((always_inline)) inline V Load(const T* p)
{
	V v;
	__builtin_memcpy(&v, p, sizeof v);
	return v;
}

template <typename T, typename V> __attribute__((always_inline)) inline void Store(T* p, const V& v)
{
	__builtin_memcpy(p, &v, sizeof v);
}

} // namespace simd
#pragma GCC diagnostic pop
