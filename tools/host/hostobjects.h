#pragma once

// Host-side objects that a plug-in borrows: the host context, a recording
// component handler and an in-memory stream. They live on the host's side
// (on the stack or as members) and the plug-in never owns them, so their
// addRef/release do not count; keep them alive longer than the plug-in
// objects that hold them.

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace brontal::host {

// IHostApplication that also answers IPlugInterfaceSupport, and creates
// IMessage / IAttributeList objects for the plug-in.
class HostContext : public Steinberg::Vst::HostApplication
{
public:
	Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
	Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queriedIid, void** obj) override;
};

// One call that the controller (or its editor) made to the handler.
struct EditCall
{
	enum class Kind
	{
		Begin,
		Perform,
		End,
		Restart
	};
	Kind kind;
	Steinberg::Vst::ParamID id = 0;     // Begin, Perform, End
	Steinberg::Vst::ParamValue value = 0; // Perform
	Steinberg::int32 flags = 0;         // Restart
};

// IComponentHandler that records every call in order and accepts them all.
class ComponentHandler : public Steinberg::Vst::IComponentHandler
{
public:
	const std::vector<EditCall>& calls() const { return recorded; }
	void clear() { recorded.clear(); }

	Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
	Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
	                                          Steinberg::Vst::ParamValue valueNormalized) override;
	Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
	Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;

	Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queriedIid, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
	Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
	std::vector<EditCall> recorded;
};

// A growable in-memory IBStream. A read that cannot deliver every requested
// byte delivers what there is and answers kResultFalse. setFailAfter(n)
// makes every read or write that would reach past byte offset n fail
// without moving any byte, which simulates a full disk or a short file.
class ByteStream : public Steinberg::IBStream
{
public:
	ByteStream() = default;
	explicit ByteStream(std::vector<char> bytes) : data(std::move(bytes)) {}

	const std::vector<char>& bytes() const { return data; }
	void rewind() { cursor = 0; }
	void setFailAfter(std::optional<std::size_t> offset) { failAfter = offset; }

	Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes,
	                                   Steinberg::int32* numBytesRead) override;
	Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes,
	                                    Steinberg::int32* numBytesWritten) override;
	Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode,
	                                   Steinberg::int64* result) override;
	Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override;

	Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID queriedIid, void** obj) override;
	Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
	Steinberg::uint32 PLUGIN_API release() override { return 1; }

private:
	bool refused(std::size_t numBytes) const;

	std::vector<char> data;
	std::size_t cursor = 0;
	std::optional<std::size_t> failAfter;
};

} // namespace brontal::host
