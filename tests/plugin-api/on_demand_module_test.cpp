// Modules found beside the calling library: the loader tests' plug-ins
// stand in for a plug-in and the module it loads when first needed.
#include "on_demand_module.h"

#include <QLibrary>

#include <gtest/gtest.h>

namespace {

const QString kFolder = QStringLiteral(TEST_PLUGIN_DIR);

// An address inside the library "alpha", as a plug-in passes one of its own.
const void *insideAlpha()
{
    static QLibrary alpha(kFolder + QStringLiteral("/test-plugin-alpha.so"));
    alpha.setLoadHints(QLibrary::PreventUnloadHint);
    return alpha.load() ? reinterpret_cast<const void *>(alpha.resolve("DLLDocTemplate")) : nullptr;
}

TEST(OnDemandModule, FindsTheModuleBesideTheCallerAndSaysWhyNot)
{
    const void *anchor = insideAlpha();
    ASSERT_NE(anchor, nullptr);

    QString error;
    void *beta = OnDemandModule::resolve(anchor, QStringLiteral("test-plugin-beta.so"), "DLLDocTemplate", &error);
    ASSERT_NE(beta, nullptr) << error.toStdString();
    EXPECT_NE(beta, anchor);
    EXPECT_TRUE(error.isEmpty());
    QLibrary beside(kFolder + QStringLiteral("/test-plugin-beta.so"));
    EXPECT_EQ(beta, reinterpret_cast<void *>(beside.resolve("DLLDocTemplate")));

    // Not relative to the current folder or the program's: only beside the caller.
    EXPECT_EQ(OnDemandModule::resolve(reinterpret_cast<const void *>(&insideAlpha),
                                      QStringLiteral("test-plugin-beta.so"), "DLLDocTemplate", &error),
              nullptr);
    EXPECT_TRUE(error.contains("test-plugin-beta.so")) << error.toStdString();

    error.clear();
    EXPECT_EQ(OnDemandModule::resolve(anchor, QStringLiteral("missing.so"), "DLLDocTemplate", &error), nullptr);
    EXPECT_TRUE(error.contains("missing.so")) << error.toStdString();

    error.clear();
    EXPECT_EQ(OnDemandModule::resolve(anchor, QStringLiteral("test-plugin-noexport.so"), "DLLDocTemplate", &error),
              nullptr);
    EXPECT_TRUE(error.contains("test-plugin-noexport.so") && error.contains("DLLDocTemplate")) << error.toStdString();
}

} // namespace
