#include "mimeReader.h" // GMime before Qt headers

#include "kvScriptedPage.h"

#include "kvUrl.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono_literals;

namespace {

/// A renderer that answers with what the test sets and counts its calls.
class TFakeRenderer : public TkvPageRenderer
{
public:
    TkvRenderedPage Render(const QString &address, std::chrono::milliseconds) override
    {
        asked << address;
        return answer(address);
    }
    void Stop() override {}

    std::function<TkvRenderedPage(const QString &)> answer;
    QStringList asked;
};

class KvScriptedPageTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        write(QStringLiteral("pic.png"), QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlE"
                                                                "QVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg=="));
        write(QStringLiteral("added.png"), addedPng());
    }

    static QByteArray addedPng()
    {
        return QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAIAAAABCAYAAAD0In+KAAAAEUlEQVR42mP8z8DwnwEIGBkZGRkAHgQDAQB3N3UAAAAASUVORK5CYII=");
    }

    QString write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return TkvUrl::FromLocalPath(file.fileName());
    }

    std::string archived(const QString &name) const
    {
        return TkvUrl::ToArchiveLocation(TkvUrl::FromLocalPath(dir.filePath(name))).toStdString();
    }

    QByteArray archive(const QString &address, TFakeRenderer *renderer) const
    {
        TkvMhtMessage message;
        if (renderer)
            message.FetcherFactory = TkvScriptedPage::Factory(*renderer, 2000ms);
        message.CreateMHTMLBody(address, mhtSuppressNone, QString(), QString());
        return message.GetStream().Bytes();
    }

    QTemporaryDir dir;
};

TEST_F(KvScriptedPageTest, APageWithoutScriptsGivesTodaysArchiveWithoutTheRenderer)
{
    write(QStringLiteral("frame.html"), "<p>frame</p>");
    const QString page =
        write(QStringLiteral("page.html"), "<title>T</title><img src=\"pic.png\"><iframe src=\"frame.html\"></iframe>");
    TFakeRenderer renderer;
    EXPECT_EQ(archive(page, &renderer), archive(page, nullptr));
    EXPECT_TRUE(renderer.asked.isEmpty());
}

TEST_F(KvScriptedPageTest, APageWithAScriptIsArchivedAsTheRendererLeftIt)
{
    write(QStringLiteral("frame.html"), "<p>frame</p><script>document.write('x')</script>");
    const QString page = write(QStringLiteral("page.html"),
                               "<title>T</title><div id=\"nav\"></div><iframe src=\"frame.html\"></iframe>"
                               "<script src=\"nav.js\"></script>");
    const QString frame = TkvUrl::FromLocalPath(dir.filePath(QStringLiteral("frame.html")));
    TFakeRenderer renderer;
    renderer.answer = [&](const QString &address) {
        TkvRenderedPage rendered;
        rendered.settled = true;
        rendered.documents.push_back({address, "<html><head><meta charset=\"utf-8\"><title>T</title></head><body>"
                                               "<div id=\"nav\"><img src=\"added.png\">Gr\xc3\xbc\xc3\x9f""e</div>"
                                               "<iframe src=\"frame.html\"></iframe></body></html>"});
        rendered.documents.push_back({frame, "<html><body><p>frame</p>x</body></html>"});
        return rendered;
    };
    const TMimeReadMessage read = ReadMimeMessage(archive(page, &renderer));
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(renderer.asked, QStringList{page});
    ASSERT_FALSE(read.parts.empty());
    const TMimeReadPart &main = read.parts.front();
    EXPECT_EQ(main.location, archived(QStringLiteral("page.html")));
    EXPECT_EQ(main.charset, "UTF-8");
    EXPECT_TRUE(main.data.contains("<div id=\"nav\"><img src=\"added.png\">Gr\xc3\xbc\xc3\x9f""e</div>"));
    EXPECT_FALSE(main.data.contains("nav.js"));
    // What the scripts added is gathered by the engine's own rules; the frame is the rendered one.
    const TMimeReadPart *added = read.Find(archived(QStringLiteral("added.png")));
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(added->data, addedPng());
    const TMimeReadPart *framePart = read.Find(archived(QStringLiteral("frame.html")));
    ASSERT_NE(framePart, nullptr);
    EXPECT_EQ(framePart->data, QByteArray("<html><body><p>frame</p>x</body></html>"));
    EXPECT_EQ(read.Header("Snapshot-Content-Location"), page.toStdString());
}

TEST_F(KvScriptedPageTest, ARendererFailureFailsThePageWithItsText)
{
    const QString page = write(QStringLiteral("page.html"), "<script>x()</script>");
    TFakeRenderer renderer;
    renderer.answer = [](const QString &address) -> TkvRenderedPage {
        throw EMhtError(QStringLiteral("The page renderer crashed while showing \"%1\".").arg(address));
    };
    try {
        archive(page, &renderer);
        ADD_FAILURE() << "no error";
    } catch (const EMhtError &error) {
        EXPECT_EQ(QString::fromUtf8(error.what()),
                  QStringLiteral("The page renderer crashed while showing \"%1\".").arg(page));
    }
}

TEST_F(KvScriptedPageTest, ALocalPageWhoseScriptsWentToTheWebIsNotArchivedAsLocal)
{
    const QString page = write(QStringLiteral("page.html"), "<script>location = 'http://elsewhere/'</script>");
    TFakeRenderer renderer;
    renderer.answer = [](const QString &) {
        TkvRenderedPage rendered;
        rendered.documents.push_back({QStringLiteral("http://elsewhere/"), "<img src=\"file:///etc/passwd\">"});
        return rendered;
    };
    EXPECT_THROW(archive(page, &renderer), EMhtError);
}

} // namespace
