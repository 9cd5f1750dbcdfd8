#pragma once

#include "IrConvolver.h"

#include <atomic>
#include <memory>
#include <vector>

// A player's cabinet response as the chain runs it: a convolver for each of
// its two drive sets, since each set keeps a memory of its own. A response
// without convolvers stands for the built-in mix.
struct CPlayerResponse
{
	std::unique_ptr<CIrConvolver> apSets[2];
	CIrConvolver* Set(int i) const { return apSets[i].get(); }
};

// The chain's form of prepared taps (afRight empty: mono); no taps at all
// stand for the built-in mix. Main thread: it allocates.
inline std::unique_ptr<CPlayerResponse> MakePlayerResponse(const std::vector<float>& afLeft, const std::vector<float>& afRight)
{
	auto pResponse = std::make_unique<CPlayerResponse>();
	if (!afLeft.empty())
		for (std::unique_ptr<CIrConvolver>& pSet : pResponse->apSets)
			pSet = std::make_unique<CIrConvolver>(afLeft, afRight);
	return pResponse;
}

// Hands prepared responses from the main thread to the audio thread and
// back without a lock: one waits to be taken, one that the audio thread let
// go waits to be freed. Only the main thread frees; the audio thread takes
// a new one only when the slot for the one it lets go is empty.
class CResponseExchange
{
public:
	CResponseExchange() = default;
	CResponseExchange(const CResponseExchange&) = delete;
	CResponseExchange& operator=(const CResponseExchange&) = delete;
	~CResponseExchange()
	{
		delete m_pWaiting.load();
		delete m_pLetGo.load();
	}

	// Main thread. An offer not yet taken gives way to the newer one.
	void Offer(std::unique_ptr<CPlayerResponse> pResponse)
	{
		Collect();
		delete m_pWaiting.exchange(pResponse.release(), std::memory_order_acq_rel);
	}
	void Collect() { delete m_pLetGo.exchange(nullptr, std::memory_order_acq_rel); }

	// Audio thread.
	bool CanLetGo() const { return m_pLetGo.load(std::memory_order_acquire) == nullptr; }
	CPlayerResponse* Take() { return CanLetGo() ? m_pWaiting.exchange(nullptr, std::memory_order_acq_rel) : nullptr; }
	// Only after CanLetGo().
	void LetGo(CPlayerResponse* pResponse) { m_pLetGo.store(pResponse, std::memory_order_release); }

private:
	std::atomic<CPlayerResponse*> m_pWaiting{nullptr};
	std::atomic<CPlayerResponse*> m_pLetGo{nullptr};
};
