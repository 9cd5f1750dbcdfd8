#pragma once

// The class factory the SDK copy on this platform does not ship: holds the
// factory record and the registered classes with their creation functions,
// and answers IPluginFactory, IPluginFactory2 and IPluginFactory3.

#include "pluginterfaces/base/ipluginbase.h"

#include <vector>

namespace Steinberg {

class CPluginFactory : public IPluginFactory3
{
public:
	using CreateFunc = FUnknown* (*)(void* context);

	explicit CPluginFactory(const PFactoryInfo& info);
	virtual ~CPluginFactory() = default;

	bool registerClass(const PClassInfo2* info, CreateFunc createFunc, void* context = nullptr);
	bool isClassRegistered(const FUID& cid) const;

	//---IPluginFactory---
	tresult PLUGIN_API getFactoryInfo(PFactoryInfo* info) SMTG_OVERRIDE;
	int32 PLUGIN_API countClasses() SMTG_OVERRIDE;
	tresult PLUGIN_API getClassInfo(int32 index, PClassInfo* info) SMTG_OVERRIDE;
	tresult PLUGIN_API createInstance(FIDString cid, FIDString iid, void** obj) SMTG_OVERRIDE;
	//---IPluginFactory2---
	tresult PLUGIN_API getClassInfo2(int32 index, PClassInfo2* info) SMTG_OVERRIDE;
	//---IPluginFactory3---
	tresult PLUGIN_API getClassInfoUnicode(int32 index, PClassInfoW* info) SMTG_OVERRIDE;
	tresult PLUGIN_API setHostContext(FUnknown* /*context*/) SMTG_OVERRIDE { return kNotImplemented; }

	DECLARE_FUNKNOWN_METHODS

private:
	struct ClassEntry
	{
		PClassInfo2 info;
		CreateFunc createFunc;
		void* context;
	};
	const ClassEntry* findClass(int32 index) const;

	PFactoryInfo factoryInfo;
	std::vector<ClassEntry> classes;
};

} // namespace Steinberg
