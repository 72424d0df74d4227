// A plug-in for the loader tests: a named template with an empty document,
// or no template at all, or no entry point.

#include "doc_view.h"
#include "MyMultiDocTemplate.h"

#include <QPixmap>

namespace {

class TestDocument : public CDocument
{
};

class TestFrame : public CMDIChildWnd
{
};

class TestView : public CView
{
};

} // namespace

#if !defined(TEST_PLUGIN_NO_EXPORT)
VRN_PLUGIN_EXPORT CMyMultiDocTemplate *DLLDocTemplate()
{
#if defined(TEST_PLUGIN_NULL)
    return nullptr;
#else
    auto *t = new CMyMultiDocTemplate(QStringLiteral(":/test"), 129, CMyMultiDocTemplate::runtimeClass<TestDocument>(),
                                      CMyMultiDocTemplate::runtimeClass<TestFrame>(),
                                      CMyMultiDocTemplate::runtimeClass<TestView>());
    t->setName(QStringLiteral(TEST_PLUGIN_NAME));
    t->setDocString(QStringLiteral("\n" TEST_PLUGIN_NAME "\n" TEST_PLUGIN_NAME "\n\n\n" TEST_PLUGIN_NAME ".Document\n" TEST_PLUGIN_NAME " Document"));
    QPixmap picture(16, 15);
    picture.fill(Qt::blue);
    t->setBitmap(picture);
    return t;
#endif
}
#else
// Exports something, just not the entry point.
extern "C" __attribute__((visibility("default"))) int NotTheEntryPoint()
{
    return 42;
}
#endif
