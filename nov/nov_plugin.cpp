// The plug-in's entry point: the only symbol NOV.vpi exports.

#include "ChildFrame.h"
#include "MyMultiDocTemplate.h"
#include "NOVDocument.h"
#include "NOVDocumentView.h"
#include "nov_strings.h"

#include <QPixmap>

VRN_PLUGIN_EXPORT CMyMultiDocTemplate *DLLDocTemplate()
{
    try {
        auto *t = new CMyMultiDocTemplate(QStringLiteral(":/nov"), 129,
                                          CMyMultiDocTemplate::runtimeClass<CNOVDocument>(),
                                          CMyMultiDocTemplate::runtimeClass<CChildFrame>(),
                                          CMyMultiDocTemplate::runtimeClass<CNOVDocumentView>());
        t->setName(novStrings().text(NovString::PluginName, QStringLiteral("NOV")));
        t->setBitmap(QPixmap(QStringLiteral(":/nov/2008.xpm")));
        return t;
    } catch (...) {
        return nullptr;
    }
}
