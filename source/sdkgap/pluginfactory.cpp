#include "pluginfactory.h"

#include <cstring>

namespace Steinberg {

CPluginFactory::CPluginFactory(const PFactoryInfo& info) : factoryInfo(info)
{
	FUNKNOWN_CTOR
}

IMPLEMENT_REFCOUNT(CPluginFactory)

tresult PLUGIN_API CPluginFactory::queryInterface(const TUID _iid, void** obj)
{
	QUERY_INTERFACE(_iid, obj, IPluginFactory::iid, IPluginFactory)
	QUERY_INTERFACE(_iid, obj, IPluginFactory2::iid, IPluginFactory2)
	QUERY_INTERFACE(_iid, obj, IPluginFactory3::iid, IPluginFactory3)
	QUERY_INTERFACE(_iid, obj, FUnknown::iid, IPluginFactory)
	*obj = nullptr;
	return kNoInterface;
}

bool CPluginFactory::registerClass(const PClassInfo2* info, CreateFunc createFunc, void* context)
{
	if (!info || !createFunc)
		return false;
	classes.push_back({*info, createFunc, context});
	return true;
}

bool CPluginFactory::isClassRegistered(const FUID& cid) const
{
	for (const ClassEntry& entry : classes)
		if (FUID::fromTUID(entry.info.cid) == cid)
			return true;
	return false;
}

const CPluginFactory::ClassEntry* CPluginFactory::findClass(int32 index) const
{
	if (index < 0 || index >= static_cast<int32>(classes.size()))
		return nullptr;
	return &classes[static_cast<size_t>(index)];
}

tresult PLUGIN_API CPluginFactory::getFactoryInfo(PFactoryInfo* info)
{
	if (!info)
		return kInvalidArgument;
	*info = factoryInfo;
	return kResultOk;
}

int32 PLUGIN_API CPluginFactory::countClasses()
{
	return static_cast<int32>(classes.size());
}

tresult PLUGIN_API CPluginFactory::getClassInfo(int32 index, PClassInfo* info)
{
	const ClassEntry* entry = findClass(index);
	if (!info || !entry)
		return kInvalidArgument;
	std::memcpy(info->cid, entry->info.cid, sizeof(TUID));
	info->cardinality = entry->info.cardinality;
	strncpy8(info->category, entry->info.category, PClassInfo::kCategorySize);
	strncpy8(info->name, entry->info.name, PClassInfo::kNameSize);
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfo2(int32 index, PClassInfo2* info)
{
	const ClassEntry* entry = findClass(index);
	if (!info || !entry)
		return kInvalidArgument;
	*info = entry->info;
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::getClassInfoUnicode(int32 index, PClassInfoW* info)
{
	const ClassEntry* entry = findClass(index);
	if (!info || !entry)
		return kInvalidArgument;
	info->fromAscii(entry->info);
	return kResultOk;
}

tresult PLUGIN_API CPluginFactory::createInstance(FIDString cid, FIDString _iid, void** obj)
{
	if (!obj)
		return kInvalidArgument;
	*obj = nullptr;
	if (!cid || !_iid)
		return kInvalidArgument;
	for (const ClassEntry& entry : classes)
	{
		if (std::memcmp(entry.info.cid, cid, sizeof(TUID)) != 0)
			continue;
		FUnknown* instance = entry.createFunc(entry.context);
		if (!instance)
			return kOutOfMemory;
		const tresult result = instance->queryInterface(_iid, obj);
		instance->release();
		return result == kResultOk ? kResultOk : kNoInterface;
	}
	return kNoInterface;
}

} // namespace Steinberg
