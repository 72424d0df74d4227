#include "PluginContract.h"

namespace {

TEST(ZAR40Plugin, ExportsExactlyTheEntryPoint)
{
    expectOnlyTheEntryPointExported(PLUGIN_FILE);
}

TEST(ZAR40Plugin, TemplateOpensAnEmptyEditorDocument)
{
    expectTemplateOpensEmptyDocuments(
        PLUGIN_FILE, {"ZAR 40", "ZAR40 1", "ZAR40 2", "ZAR40  Document", "CZARDocument", "CZARDocumentView"});
}

} // namespace
