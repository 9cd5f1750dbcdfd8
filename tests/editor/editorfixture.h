#pragma once
// gtest before Xlib, whose macros (None, Bool) clash with gtest's names.
#include <gtest/gtest.h>

#include "editorsession.h"
#include "host/plugininstance.h"

#include <memory>

namespace brontal::editortest {

// A plug-in instance from the built bundle and a host window for its editor.
class EditorFixture : public ::testing::Test
{
protected:
	void SetUp() override
	{
		m_iErrorsBefore = EditorSession::xErrors();
		instance = std::make_unique<host::PluginInstance>(host::Module::load(BRONTAL_BUNDLE_PATH));
		session = std::make_unique<EditorSession>(instance->controller());
	}
	void TearDown() override
	{
		session.reset();
		instance.reset();
		EXPECT_EQ(EditorSession::xErrors(), m_iErrorsBefore) << "X errors";
	}

	// A new view attached to the host window; the handler starts empty.
	void openEditor()
	{
		ASSERT_NE(session->createView(), nullptr);
		ASSERT_EQ(session->attach(), Steinberg::kResultTrue);
		instance->handler().clear();
	}
	const std::vector<host::EditCall>& calls() { return instance->handler().calls(); }
	Steinberg::Vst::IEditController* controller() { return instance->controller(); }

	std::unique_ptr<host::PluginInstance> instance;
	std::unique_ptr<EditorSession> session;

private:
	int m_iErrorsBefore = 0;
};

} // namespace brontal::editortest
