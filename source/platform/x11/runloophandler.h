#pragma once

// Base of the objects we hand to the host's Linux::IRunLoop. The host may
// hold one a little longer than its owner lives, so it is reference counted
// and its owner detaches it instead of deleting it.

#include "pluginterfaces/base/funknown.h"

#include <atomic>

namespace brontal::x11 {

template <typename Interface>
class RunLoopHandler : public Interface
{
public:
	Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queriedIid, void** obj) override
	{
		QUERY_INTERFACE(queriedIid, obj, Steinberg::FUnknown::iid, Interface)
		QUERY_INTERFACE(queriedIid, obj, Interface::iid, Interface)
		*obj = nullptr;
		return Steinberg::kNoInterface;
	}
	Steinberg::uint32 PLUGIN_API addRef() override { return ++m_uRefs; }
	Steinberg::uint32 PLUGIN_API release() override
	{
		const Steinberg::uint32 uRefs = --m_uRefs;
		if (uRefs == 0)
			delete this;
		return uRefs;
	}

protected:
	virtual ~RunLoopHandler() = default;

private:
	std::atomic<Steinberg::uint32> m_uRefs{1};
};

} // namespace brontal::x11
