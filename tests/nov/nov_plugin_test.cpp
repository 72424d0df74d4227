#include "plugin_contract.h"

namespace {

TEST(NOVPlugin, ExportsExactlyTheEntryPoint)
{
    expectOnlyTheEntryPointExported(PLUGIN_FILE);
}

TEST(NOVPlugin, TemplateOpensAnEmptyEditorDocument)
{
    expectTemplateOpensEmptyDocuments(
        PLUGIN_FILE, {"NOV", "NOV1", "NOV2", "NOV Document", "CNOVDocument", "CNOVDocumentView"});
}

} // namespace
