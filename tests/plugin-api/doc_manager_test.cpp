#include "test_application.h"
#include "doc_view.h"
#include "MyDocManager.h"
#include "MyMultiDocTemplate.h"
#include "ScriptedUserPrompts.h"
#include "window_tree.h"

#include <QApplication>
#include <QFile>
#include <QMdiArea>
#include <QTemporaryDir>

#include <utility>

#include <gtest/gtest.h>

namespace {


struct Counters
{
    int documents = 0;
    int frames = 0;
    int views = 0;
};
Counters live;

class TestDocument : public CDocument
{
public:
    bool refuseClose = false;
    bool failNew = false;
    bool readsFiles = false; // else the base class's refusal
    static inline bool refuseNextRead = false;
    TestDocument() { ++live.documents; }
    ~TestDocument() override { --live.documents; }
    bool onNewDocument() override { return !failNew && CDocument::onNewDocument(); }
    bool saveModified() override { return !refuseClose; }
    bool onOpenDocument(const QString &path) override
    {
        if (!readsFiles)
            return CDocument::onOpenDocument(path);
        if (std::exchange(refuseNextRead, false)) {
            UserPrompts::current().exclamation("unreadable " + path);
            return false;
        }
        return true;
    }
};

class TestFrame : public CMDIChildWnd
{
public:
    TestFrame() { ++live.frames; }
    ~TestFrame() override { --live.frames; }
};

class TestView : public CView
{
public:
    int initialUpdates = 0;
    TestView() { ++live.views; }
    ~TestView() override { --live.views; }
    void onInitialUpdate() override { ++initialUpdates; }
};

CMyMultiDocTemplate *makeTemplate(const QString &name, const QString &docString)
{
    auto *t = new CMyMultiDocTemplate(":/none", 129, CMyMultiDocTemplate::runtimeClass<TestDocument>(),
                                      CMyMultiDocTemplate::runtimeClass<TestFrame>(),
                                      CMyMultiDocTemplate::runtimeClass<TestView>());
    t->setName(name);
    t->setDocString(docString);
    return t;
}

class DocManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vrntest::testApplication("plugin-api-tests");
        live = {};
        area = new QMdiArea;
        manager = new CMyDocManager;
        manager->setMdiArea(area);
    }
    void TearDown() override
    {
        delete manager;
        delete area;
        EXPECT_EQ(live.documents, 0);
        EXPECT_EQ(live.frames, 0);
        EXPECT_EQ(live.views, 0);
    }
    void addBoth()
    {
        zar = makeTemplate("ZAR 40", "\nZAR40 \nZAR40 \n\n\nZAR40 .Document\nZAR40  Document");
        nov = makeTemplate("NOV", "\nNOV\nNOV\n\n\nNOV.Document\nNOV Document");
        manager->addDocTemplate(zar);
        manager->addDocTemplate(nov);
    }

    QMdiArea *area = nullptr;
    CMyDocManager *manager = nullptr;
    CMyMultiDocTemplate *zar = nullptr;
    CMyMultiDocTemplate *nov = nullptr;
};

TEST_F(DocManagerTest, OpenNewDocumentIndexBounds)
{
    // Nothing registered: no index opens anything.
    EXPECT_FALSE(manager->OpenNewDocument(0));
    EXPECT_FALSE(manager->OpenNewDocument(1));

    addBoth();
    EXPECT_TRUE(manager->OpenNewDocument(0));  // the first template
    EXPECT_TRUE(manager->OpenNewDocument(1));  // the first template again
    EXPECT_TRUE(manager->OpenNewDocument(2));  // the second
    EXPECT_FALSE(manager->OpenNewDocument(3)); // beyond the count
    EXPECT_FALSE(manager->OpenNewDocument(-1));
    EXPECT_EQ(zar->documents().size(), 2);
    EXPECT_EQ(nov->documents().size(), 1);
    EXPECT_EQ(area->subWindowList().size(), 3);
    EXPECT_EQ(live.documents, 3);
}

TEST_F(DocManagerTest, UntitledDocumentsAreNumberedPerTemplate)
{
    addBoth();
    manager->OpenNewDocument(1);
    manager->OpenNewDocument(1);
    manager->OpenNewDocument(2);
    ASSERT_EQ(zar->documents().size(), 2);
    EXPECT_EQ(zar->documents()[0]->title(), "ZAR40 1");
    EXPECT_EQ(zar->documents()[1]->title(), "ZAR40 2");
    EXPECT_EQ(nov->documents()[0]->title(), "NOV1");
    EXPECT_EQ(nov->documents()[0]->frames().constFirst()->windowTitle(), "NOV1");
    EXPECT_EQ(zar->docString(CMyMultiDocTemplate::RegFileTypeName), "ZAR40  Document");
    EXPECT_EQ(zar->docString(CMyMultiDocTemplate::FilterExt), "");
}

TEST_F(DocManagerTest, DocumentGoesWithItsFrameUnlessItRefuses)
{
    addBoth();
    CDocument *d = zar->OpenDocumentFile({}, true);
    ASSERT_NE(d, nullptr);
    auto *view = static_cast<TestView *>(d->views().constFirst());
    EXPECT_EQ(view->initialUpdates, 1);
    EXPECT_EQ(view->document(), d);

    static_cast<TestDocument *>(d)->refuseClose = true;
    EXPECT_FALSE(d->frames().constFirst()->close());
    EXPECT_EQ(zar->documents().size(), 1);

    static_cast<TestDocument *>(d)->refuseClose = false;
    EXPECT_TRUE(d->frames().constFirst()->close());
    // The document is gone at once; the frame follows with deferred deletion.
    EXPECT_TRUE(zar->documents().isEmpty());
    EXPECT_EQ(live.documents, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(DocManagerTest, FailedNewDocumentLeavesNothingBehind)
{
    auto *t = new CMyMultiDocTemplate(":/none", 129,
                                      [] {
                                          auto *d = new TestDocument;
                                          d->failNew = true;
                                          return d;
                                      },
                                      CMyMultiDocTemplate::runtimeClass<TestFrame>(),
                                      CMyMultiDocTemplate::runtimeClass<TestView>());
    manager->addDocTemplate(t);
    EXPECT_TRUE(manager->OpenNewDocument(1)); // the call was made, the document refused
    EXPECT_TRUE(t->documents().isEmpty());
    EXPECT_EQ(live.documents, 0);
    EXPECT_EQ(live.frames, 0);
    EXPECT_EQ(live.views, 0);
}

TEST_F(DocManagerTest, DeletingTheManagerDeletesTemplatesAndOpenDocuments)
{
    addBoth();
    manager->OpenNewDocument(1);
    manager->OpenNewDocument(2);
    bool zarGone = false;
    QObject::connect(zar, &QObject::destroyed, [&] { zarGone = true; });
    delete manager;
    manager = nullptr;
    EXPECT_TRUE(zarGone);
    EXPECT_EQ(live.documents, 0);
    EXPECT_EQ(live.frames, 0);
    EXPECT_TRUE(area->subWindowList().isEmpty());
}

TEST_F(DocManagerTest, FileNewAsksForTheTypeOnlyWhenThereAreSeveral)
{
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scope(prompts);
    manager->addDocTemplate(makeTemplate("ZAR 40", "\nZAR40 \nZAR40 \n\n\nZAR40 .Document\nZAR40  Document"));
    ASSERT_NE(manager->onFileNew(), nullptr);
    EXPECT_TRUE(prompts.shown().isEmpty());

    manager->addDocTemplate(makeTemplate("NOV", "\nNOV\nNOV\n\n\nNOV.Document\nNOV Document"));
    prompts.answerChoice(1).answerChoice(-1);
    CDocument *d = manager->onFileNew();
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->docTemplate()->name(), "NOV");
    EXPECT_EQ(manager->onFileNew(), nullptr);
    ASSERT_EQ(prompts.shown().size(), 2);
    EXPECT_EQ(prompts.shown()[0].items, (QStringList{"ZAR40 ", "NOV"}));
}

TEST_F(DocManagerTest, FileGoesToTheTemplateOfItsExtensionOrIsRefusedByName)
{
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scope(prompts);
    prompts.setAcknowledgeNotices(true);
    // The first template reads no files; the second reads .vpx and .vpf.
    nov = makeTemplate("NOV", "\nNOV\nNOV\n\n\nNOV.Document\nNOV Document");
    zar = new CMyMultiDocTemplate(":/none", 129,
                                  [] {
                                      auto *d = new TestDocument;
                                      d->readsFiles = true;
                                      return d;
                                  },
                                  CMyMultiDocTemplate::runtimeClass<TestFrame>(),
                                  CMyMultiDocTemplate::runtimeClass<TestView>());
    zar->setName("ZAR 40");
    zar->setDocString("\nZAR40 \nZAR40 \nZAR40 Presets (*.vpx *.vpf)\n.vpx;.vpf\nZAR40 .Document\nZAR40  Document");
    manager->addDocTemplate(nov);
    manager->addDocTemplate(zar);
    EXPECT_EQ(zar->fileExtensions(), (QStringList{"vpx", "vpf"}));
    EXPECT_TRUE(nov->fileExtensions().isEmpty());

    QTemporaryDir dir;
    const auto touch = [&](const char *name) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return f.fileName();
    };
    const QString other = touch("notes.txt");
    const QString upper = touch("LIVE.VPX");
    const QString broken = touch("broken.vpf");

    EXPECT_EQ(manager->openDocumentFile(other), nullptr);
    EXPECT_EQ(manager->openDocumentFile(dir.filePath("typo.vpx")), nullptr);
    TestDocument::refuseNextRead = true;
    EXPECT_EQ(manager->openDocumentFile(broken), nullptr);
    EXPECT_TRUE(manager->documents().isEmpty());
    EXPECT_TRUE(area->subWindowList().isEmpty());
    EXPECT_EQ(live.frames, 0);
    const QStringList texts = prompts.texts();
    ASSERT_EQ(texts.size(), 3);
    EXPECT_EQ(texts[0], "Cannot open \"" + other + "\": no plug-in reads files of this kind.\n"
                        "Known kinds: ZAR40 Presets (*.vpx *.vpf)");
    EXPECT_EQ(texts[1], "Cannot open \"" + dir.filePath("typo.vpx") + "\": there is no such file.");
    EXPECT_EQ(texts[2], "unreadable " + broken);

    QStringList opened;
    QObject::connect(manager, &CMyDocManager::fileOpened, [&](const QString &p) { opened << p; });
    CDocument *d = manager->openDocumentFile(upper);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->docTemplate(), zar);
    EXPECT_EQ(d->title(), "LIVE.VPX");
    EXPECT_EQ(opened, QStringList{upper});
}

TEST_F(DocManagerTest, DocumentThatReadsNoFilesRefusesToOpenOne)
{
    ScriptedUserPrompts prompts;
    ScopedUserPrompts scope(prompts);
    prompts.setAcknowledgeNotices(true);
    addBoth();
    EXPECT_EQ(zar->OpenDocumentFile("/somewhere/file.vpx", true), nullptr);
    EXPECT_TRUE(manager->documents().isEmpty());
    EXPECT_EQ(prompts.texts(), QStringList{"Cannot open \"/somewhere/file.vpx\": this kind of document is not read from a file."});
}

TEST(WindowTree, ControlIdsAndMainWindow)
{
    vrntest::testApplication("plugin-api-tests");
    QWidget frame;
    auto *toolbar = new QWidget(&frame);
    auto *button = new QWidget(toolbar);
    auto *can = new QWidget(&frame);
    WindowTree::setControlId(button, 10000);
    WindowTree::setControlId(can, 13000);
    EXPECT_EQ(WindowTree::childWithControlId(&frame, 13000), can);
    EXPECT_EQ(WindowTree::childWithControlId(&frame, 10000), button);
    EXPECT_EQ(WindowTree::childWithControlId(&frame, 0), nullptr);
    EXPECT_EQ(WindowTree::controlId(toolbar), 0);

    {
        QWidget main;
        WindowTree::setMainWindow(&main);
        EXPECT_EQ(WindowTree::mainWindow(), &main);
    }
    EXPECT_EQ(WindowTree::mainWindow(), nullptr);
}

} // namespace
