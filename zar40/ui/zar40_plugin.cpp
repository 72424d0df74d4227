// The plug-in's entry point: the only symbol ZAR40.vpi exports.

#include "ChildFrame.h"
#include "MyMultiDocTemplate.h"
#include "ZARDocument.h"
#include "ZARDocumentView.h"
#include "units/UnitsView.h"
#include "units/units_window.h"

#include <QPixmap>

VRN_PLUGIN_EXPORT CMyMultiDocTemplate *DLLDocTemplate()
{
    try {
        // The units window is a document of this template too; what the
        // next document is, is set just before it is opened.
        using zar40ui::DocumentKind;
        auto units = [] { return zar40ui::nextDocumentKind() == DocumentKind::Units; };
        auto *t = new CMyMultiDocTemplate(
            QStringLiteral(":/zar40"), 129,
            [units]() -> CDocument * { return units() ? static_cast<CDocument *>(new CUnitsDocument) : new CZARDocument; },
            [units]() -> CMDIChildWnd * { return units() ? static_cast<CMDIChildWnd *>(new CUnitsFrame) : new CChildFrame; },
            [units]() -> CView * {
                CView *view = units() ? static_cast<CView *>(new CUnitsView) : new CZARDocumentView;
                zar40ui::nextDocumentKind() = DocumentKind::Editor;
                return view;
            });
        t->setName(QStringLiteral("ZAR 40"));
        t->setBitmap(QPixmap(QStringLiteral(":/zar40/2020.xpm")));
        return t;
    } catch (...) {
        return nullptr;
    }
}
