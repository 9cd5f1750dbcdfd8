#pragma once
#include "testhost.h"

#include "host/plugininstance.h"

#include <gtest/gtest.h>

#include <memory>

namespace brontal::wintest {

// A plug-in instance from the built bundle and a host window for its editor.
class Win32EditorFixture : public ::testing::Test
{
protected:
	void SetUp() override
	{
		instance = std::make_unique<host::PluginInstance>(host::Module::load(BRONTAL_BUNDLE_PATH));
		testHost = std::make_unique<TestHost>();
	}
	void TearDown() override
	{
		releaseView();
		testHost.reset();
		instance.reset();
	}

	Steinberg::IPlugView* createView()
	{
		releaseView();
		view = controller()->createView(Steinberg::Vst::ViewType::kEditor);
		return view;
	}
	Steinberg::tresult attach()
	{
		view->setFrame(testHost.get());
		const Steinberg::tresult result = view->attached(testHost->container(), Steinberg::kPlatformTypeHWND);
		TestHost::settle();
		return result;
	}
	Steinberg::tresult remove()
	{
		const Steinberg::tresult result = view->removed();
		view->setFrame(nullptr);
		TestHost::settle();
		return result;
	}
	void releaseView()
	{
		if (view)
			view->release();
		view = nullptr;
	}
	// A new view attached to the host window; the handler starts empty.
	void openEditor()
	{
		ASSERT_NE(createView(), nullptr);
		ASSERT_EQ(attach(), Steinberg::kResultTrue);
		instance->handler().clear();
	}

	const std::vector<host::EditCall>& calls() { return instance->handler().calls(); }
	Steinberg::Vst::IEditController* controller() { return instance->controller(); }

	std::unique_ptr<host::PluginInstance> instance;
	std::unique_ptr<TestHost> testHost;
	Steinberg::IPlugView* view = nullptr;
};

} // namespace brontal::wintest
