#pragma once

// A fixed ring between exactly one producer thread and one consumer
// thread: push and pop never allocate, lock or wait, so either side may be
// the audio thread. A push onto a full ring is refused (the caller counts
// or drops it); nothing is ever overwritten under the consumer.

#include <array>
#include <atomic>
#include <cstddef>

namespace brontal::live {

template <typename T, std::size_t Capacity>
class SpscQueue
{
	static_assert((Capacity & (Capacity - 1)) == 0, "the capacity is a power of two");

public:
	bool push(const T& item)
	{
		const std::size_t tail = tailIndex.load(std::memory_order_relaxed);
		if (tail - headIndex.load(std::memory_order_acquire) == Capacity)
			return false;
		slots[tail & (Capacity - 1)] = item;
		tailIndex.store(tail + 1, std::memory_order_release);
		return true;
	}

	bool pop(T& item)
	{
		const std::size_t head = headIndex.load(std::memory_order_relaxed);
		if (head == tailIndex.load(std::memory_order_acquire))
			return false;
		item = slots[head & (Capacity - 1)];
		headIndex.store(head + 1, std::memory_order_release);
		return true;
	}

private:
	std::array<T, Capacity> slots{};
	alignas(64) std::atomic<std::size_t> headIndex{0};
	alignas(64) std::atomic<std::size_t> tailIndex{0};
};

} // namespace brontal::live
