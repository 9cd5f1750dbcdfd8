#include "host/hostobjects.h"

#include "pluginterfaces/vst/ivstpluginterfacesupport.h"

#include <algorithm>
#include <cstring>

namespace brontal::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

tresult PLUGIN_API HostContext::getName(String128 name)
{
	static const char16_t hostName[] = u"Brontal host";
	std::copy(std::begin(hostName), std::end(hostName), name);
	return kResultOk;
}

tresult PLUGIN_API HostContext::queryInterface(const TUID queriedIid, void** obj)
{
	// The base class forwards the wrong id to its interface support object.
	if (FUnknownPrivate::iidEqual(queriedIid, IPlugInterfaceSupport::iid))
		return getPlugInterfaceSupport()->queryInterface(queriedIid, obj);
	return HostApplication::queryInterface(queriedIid, obj);
}

tresult PLUGIN_API ComponentHandler::beginEdit(ParamID id)
{
	recorded.push_back({EditCall::Kind::Begin, id});
	return kResultOk;
}

tresult PLUGIN_API ComponentHandler::performEdit(ParamID id, ParamValue valueNormalized)
{
	recorded.push_back({EditCall::Kind::Perform, id, valueNormalized});
	return kResultOk;
}

tresult PLUGIN_API ComponentHandler::endEdit(ParamID id)
{
	recorded.push_back({EditCall::Kind::End, id});
	return kResultOk;
}

tresult PLUGIN_API ComponentHandler::restartComponent(int32 flags)
{
	recorded.push_back({EditCall::Kind::Restart, 0, 0, flags});
	return kResultOk;
}

tresult PLUGIN_API ComponentHandler::queryInterface(const TUID queriedIid, void** obj)
{
	QUERY_INTERFACE(queriedIid, obj, FUnknown::iid, IComponentHandler)
	QUERY_INTERFACE(queriedIid, obj, IComponentHandler::iid, IComponentHandler)
	*obj = nullptr;
	return kNoInterface;
}

bool ByteStream::refused(std::size_t numBytes) const
{
	return failAfter && cursor + numBytes > *failAfter;
}

tresult PLUGIN_API ByteStream::read(void* buffer, int32 numBytes, int32* numBytesRead)
{
	if (numBytesRead)
		*numBytesRead = 0;
	if (numBytes < 0 || !buffer || refused(static_cast<std::size_t>(numBytes)))
		return kResultFalse;
	const std::size_t available = cursor < data.size() ? data.size() - cursor : 0;
	const std::size_t count = std::min(available, static_cast<std::size_t>(numBytes));
	if (count > 0)
		std::memcpy(buffer, data.data() + cursor, count);
	cursor += count;
	if (numBytesRead)
		*numBytesRead = static_cast<int32>(count);
	return count == static_cast<std::size_t>(numBytes) ? kResultOk : kResultFalse;
}

tresult PLUGIN_API ByteStream::write(void* buffer, int32 numBytes, int32* numBytesWritten)
{
	if (numBytesWritten)
		*numBytesWritten = 0;
	if (numBytes < 0 || !buffer || refused(static_cast<std::size_t>(numBytes)))
		return kResultFalse;
	const std::size_t count = static_cast<std::size_t>(numBytes);
	if (data.size() < cursor + count)
		data.resize(cursor + count);
	if (count > 0)
		std::memcpy(data.data() + cursor, buffer, count);
	cursor += count;
	if (numBytesWritten)
		*numBytesWritten = numBytes;
	return kResultOk;
}

tresult PLUGIN_API ByteStream::seek(int64 pos, int32 mode, int64* result)
{
	int64 base = 0;
	switch (mode)
	{
		case kIBSeekSet: base = 0; break;
		case kIBSeekCur: base = static_cast<int64>(cursor); break;
		case kIBSeekEnd: base = static_cast<int64>(data.size()); break;
		default: return kInvalidArgument;
	}
	if (base + pos < 0)
		return kInvalidArgument;
	cursor = static_cast<std::size_t>(base + pos);
	if (result)
		*result = static_cast<int64>(cursor);
	return kResultOk;
}

tresult PLUGIN_API ByteStream::tell(int64* pos)
{
	if (!pos)
		return kInvalidArgument;
	*pos = static_cast<int64>(cursor);
	return kResultOk;
}

tresult PLUGIN_API ByteStream::queryInterface(const TUID queriedIid, void** obj)
{
	QUERY_INTERFACE(queriedIid, obj, FUnknown::iid, IBStream)
	QUERY_INTERFACE(queriedIid, obj, IBStream::iid, IBStream)
	*obj = nullptr;
	return kNoInterface;
}

} // namespace brontal::host
