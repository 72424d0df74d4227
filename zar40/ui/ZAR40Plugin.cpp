// The plug-in's entry point: the only symbol ZAR40.vpi exports.

#include "ChildFrame.h"
#include "MyMultiDocTemplate.h"
#include "ZARDocument.h"
#include "ZARDocumentView.h"

#include <QPixmap>

VRN_PLUGIN_EXPORT CMyMultiDocTemplate *DLLDocTemplate()
{
    try {
        auto *t = new CMyMultiDocTemplate(QStringLiteral(":/zar40"), 129,
                                          CMyMultiDocTemplate::runtimeClass<CZARDocument>(),
                                          CMyMultiDocTemplate::runtimeClass<CChildFrame>(),
                                          CMyMultiDocTemplate::runtimeClass<CZARDocumentView>());
        t->name = QStringLiteral("ZAR 40");
        t->bitmap = QPixmap(QStringLiteral(":/zar40/2020.xpm"));
        return t;
    } catch (...) {
        return nullptr;
    }
}
