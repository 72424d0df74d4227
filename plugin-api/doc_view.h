#pragma once

#include "vrn_plugin_api_export.h"

#include <QList>
#include <QMdiSubWindow>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class CMyMultiDocTemplate;
class CMDIChildWnd;
class CView;
class QMenu;
class QStatusBar;

// A document of a plug-in: the data one editor window works on. Created by
// its template, deleted when its last frame closes (or with its template).
class VRN_PLUGIN_API CDocument : public QObject
{
    Q_OBJECT
public:
    CDocument();
    ~CDocument() override;

    CMyMultiDocTemplate *docTemplate() const { return m_template; }

    QString title() const { return m_title; }
    void setTitle(const QString &title);
    QString pathName() const { return m_pathName; }
    void setPathName(const QString &path);

    bool isModified() const { return m_modified; }
    void setModifiedFlag(bool modified = true);

    QList<CView *> views() const;
    QList<CMDIChildWnd *> frames() const;
    void updateAllViews(CView *sender, int hint = 0);

    // A new, untitled document. false stops its creation.
    virtual bool onNewDocument();
    // A document read from path. false stops its creation; the document has
    // then told the user why. By default documents read no files.
    virtual bool onOpenDocument(const QString &path);
    // Asked before the last frame of the document closes. false keeps it open.
    virtual bool saveModified();
    // Whether frame may close now; by default only the last frame asks saveModified().
    virtual bool canCloseFrame(CMDIChildWnd *frame);
    // Closes every frame; the document is deleted with the last one.
    void closeDocument();

signals:
    void titleChanged(const QString &title);
    void modifiedChanged(bool modified);

private:
    friend class CMyMultiDocTemplate;
    friend class CView;
    friend class CMDIChildWnd;
    void attachView(CView *view);
    void detachView(CView *view);
    void attachFrame(CMDIChildWnd *frame);
    void detachFrame(CMDIChildWnd *frame);

    CMyMultiDocTemplate *m_template = nullptr;
    QString m_title;
    QString m_pathName;
    bool m_modified = false;
    QList<QPointer<CView>> m_views;
    QList<QPointer<CMDIChildWnd>> m_frames;
};

// A window showing a document, the client of a child frame.
class VRN_PLUGIN_API CView : public QWidget
{
    Q_OBJECT
public:
    explicit CView(QWidget *parent = nullptr);
    ~CView() override;

    CDocument *document() const { return m_document.data(); }

    // Called once, after the document is ready and before the frame shows.
    virtual void onInitialUpdate();
    // Called by CDocument::updateAllViews for every view but the sender.
    virtual void onUpdate(CView *sender, int hint);

private:
    friend class CDocument;
    QPointer<CDocument> m_document;
};

// The frame around a view inside the host's document area.
class VRN_PLUGIN_API CMDIChildWnd : public QMdiSubWindow
{
    Q_OBJECT
public:
    explicit CMDIChildWnd(QWidget *parent = nullptr);
    ~CMDIChildWnd() override;

    CDocument *document() const { return m_document.data(); }
    CView *view() const { return m_view.data(); }

    // Menus this frame adds to the host's menu bar while it is active. The
    // frame keeps ownership.
    virtual QList<QMenu *> documentMenus();

    // Called once the view is in place, before the frame is shown.
    virtual void onCreateClient(CView *view);

protected:
    void closeEvent(QCloseEvent *event) override;
    // Makes the frame's client: VIEW above a status bar of its own, which
    // is returned for the frame's panes.
    QStatusBar *placeViewAboveStatusBar(CView *view);

private:
    friend class CMyMultiDocTemplate;
    friend class CDocument;
    QPointer<CDocument> m_document;
    QPointer<CView> m_view;
};
