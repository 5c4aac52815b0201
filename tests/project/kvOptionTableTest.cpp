// The option table: typed reading, the options a run takes, and the documents that list the options.
#include "kvProjectFixture.h"

#include "kvOptionTable.h"
#include "kvRunOptions.h"

#include <QFile>

#include <map>

namespace {

using KvRunOptionsTest = KvProjectFixture;

/// The rows of the first table after the line `heading` in the Markdown file `path`: for each row its
/// cells, trimmed, keyed by the first cell without its backquotes. The header and rule rows are skipped.
std::map<QString, QStringList> markdownTable(const QString &path, const QString &heading)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    std::map<QString, QStringList> rows;
    qsizetype i = lines.indexOf(heading);
    EXPECT_GE(i, 0) << heading.toStdString() << " in " << path.toStdString();
    if (i < 0)
        return rows;
    while (++i < lines.size() && !lines[i].startsWith(QLatin1Char('|'))) {
    }
    for (i += 2; i < lines.size() && lines[i].startsWith(QLatin1Char('|')); ++i) {
        QStringList cells = lines[i].split(QLatin1Char('|'));
        cells = cells.mid(1, cells.size() - 2);
        for (QString &cell : cells)
            cell = cell.trimmed();
        rows[QString(cells.value(0)).remove(QLatin1Char('`'))] = cells;
    }
    return rows;
}

QStringList tableKeys()
{
    QStringList keys;
    for (const TkvOptionRow &row : TkvOptionTable::Rows())
        keys << QLatin1String(row.key);
    return keys;
}

QStringList keysOf(const std::map<QString, QStringList> &rows)
{
    QStringList keys;
    for (const auto &[key, cells] : rows)
        keys << key;
    return keys;
}

} // namespace

TEST(KvOptionTableTest, BooleanNumbersWordsAndDefaults)
{
    for (const char *yes : {"1", "-1", "2.5", " 7 ", "0.1", "1e3", "true", "TRUE", "tRuE", " true", "yes", "On"}) {
        EXPECT_TRUE(TkvOptionTable::ReadBoolean(QString::fromLatin1(yes), false)) << yes;
    }
    for (const char *no : {"0", "-0", "0.0", "0e5", "false", "FALSE", "no", "OFF ", "No"}) {
        EXPECT_FALSE(TkvOptionTable::ReadBoolean(QString::fromLatin1(no), true)) << no;
    }
    for (const char *other : {"", "ja", "yess", "o n", "1x", "e5", ".", "1e", "--1", "nan", "inf"}) {
        EXPECT_TRUE(TkvOptionTable::ReadBoolean(QString::fromLatin1(other), true)) << other;
        EXPECT_FALSE(TkvOptionTable::ReadBoolean(QString::fromLatin1(other), false)) << other;
    }
}

TEST(KvOptionTableTest, IntegerDecimalAndHexForms)
{
    struct Case
    {
        const char *text;
        int expected;
    };
    const Case cases[] = {
        {"42", 42},
        {"  42", 42},
        {"+7", 7},
        {"-7", -7},
        {"007", 7},
        {"$1F", 31},
        {"x1f", 31},
        {"X10", 16},
        {"0x10", 16},
        {"0XfF", 255},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"$7FFFFFFF", 2147483647},
        {"$80000000", -2147483647 - 1},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"0", 0},
        {"-0", 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(TkvOptionTable::ReadInteger(QString::fromLatin1(c.text), -99), c.expected) << c.text;
    }
    for (const char *bad : {"", " ", "abc", "42 ", "4 2", "2147483648", "-2147483649", "99999999999999999999", "$",
                            "0x", "x", "$123456789", "$G", "1.5", "--1", "+", "$-1", "0x-1"}) {
        EXPECT_EQ(TkvOptionTable::ReadInteger(QString::fromLatin1(bad), -99), -99) << bad;
    }
}

TEST(KvOptionTableTest, ValuesReadByTypeFallBackToTheDefault)
{
    EXPECT_EQ(TkvOptionTable::ReadValue(TkvOption::ThreadsCount, QStringLiteral("$10")), 16);
    EXPECT_EQ(TkvOptionTable::ReadValue(TkvOption::ThreadsCount, QStringLiteral("many")), 1);
    EXPECT_EQ(TkvOptionTable::ReadValue(TkvOption::KeepTargetSubdirs, QStringLiteral("maybe")), 1);
    EXPECT_EQ(TkvOptionTable::ReadValue(TkvOption::Subdir, QString()), 0);
    EXPECT_EQ(TkvOptionTable::ReadValue(TkvOption::IsOverwrite, QStringLiteral("Skip")), 9);
    EXPECT_EQ(TkvOptionTable::ReadValue(TkvOption::IsOverwrite, QStringLiteral("0")), 0);
    EXPECT_EQ(TkvOptionTable::ReadValue(TkvOption::IsOverwrite, QStringLiteral("?")), 1);
    EXPECT_EQ(TkvOptionTable::ReadValue(TkvOption::Charset, QStringLiteral("utf-8")), 0);
}

TEST(KvOptionTableTest, TheReadmeAndTheManualListEveryOptionWithItsDefault)
{
    const QString root = QStringLiteral(WEB2ARC_FIXTURES "/../..");
    const auto readme = markdownTable(root + QStringLiteral("/README.md"), QStringLiteral("## Option keys"));
    const auto manual = markdownTable(root + QStringLiteral("/docs/manual.md"), QStringLiteral("### Option keys"));
    QStringList expected = tableKeys();
    expected.sort();
    EXPECT_EQ(keysOf(readme), expected);
    EXPECT_EQ(keysOf(manual), expected);
    for (const TkvOptionRow &row : TkvOptionTable::Rows()) {
        const QString key = QLatin1String(row.key);
        const QString defaultName = TkvOptionTable::DefaultName(row.option);
        if (readme.count(key))
            EXPECT_EQ(readme.at(key).value(1), defaultName) << row.key << " in README.md";
        if (!manual.count(key))
            continue;
        // "boolean; False" or "text; empty: the source's folder"
        const QString typeAndDefault = manual.at(key).value(1);
        EXPECT_EQ(typeAndDefault.section(QLatin1Char(';'), 0, 0), TkvOptionTable::TypeName(row.type)) << row.key;
        EXPECT_EQ(typeAndDefault.section(QLatin1Char(';'), 1).section(QLatin1Char(':'), 0, 0).trimmed(), defaultName)
            << row.key << " in docs/manual.md";
    }
}

TEST_F(KvRunOptionsTest, ARunKeepsTheOptionsItStartedWith)
{
    store->SetOptionsText(
        QStringLiteral("threadscount=$3\nIsOverwrite=maybe\nRegExt=/a/\nSkipHidden=1\nCharset=utf-8"));
    store->OverwriteDefault = false;
    const TkvRunOptions options = TkvRunOptions::Take(*store);
    store->SetOptionsText(QStringLiteral("ThreadsCount=9\nRegExt=/b/"));

    EXPECT_EQ(options.Integer(TkvOption::ThreadsCount), 3);
    EXPECT_EQ(options.Integer(TkvOption::IsOverwrite), 0); // the store's default for an unreadable value
    EXPECT_EQ(options.Text(TkvOption::RegExt), QStringLiteral("/a/"));
    EXPECT_TRUE(options.Boolean(TkvOption::SkipHidden));
    EXPECT_EQ(options.Text(TkvOption::Charset), QStringLiteral("utf-8"));
    EXPECT_TRUE(options.Boolean(TkvOption::KeepTargetSubdirs)); // absent: the table's default
    EXPECT_EQ(options.Text(TkvOption::KeepTargetSubdirs), QString());
    EXPECT_EQ(options.TargetExt, QStringLiteral(".mht"));
    EXPECT_EQ(options.ShortName, QStringLiteral("web2arc"));

    const TkvRunOptions defaults;
    EXPECT_EQ(defaults.Integer(TkvOption::ThreadsCount), 1);
    EXPECT_EQ(defaults.Integer(TkvOption::IsOverwrite), 1);
    EXPECT_FALSE(defaults.Boolean(TkvOption::Subdir));
}

TEST(KvOptionTableTest, ProblemsNameEachLineThatIsNotUnderstood)
{
    const QStringList lines{QStringLiteral("Tagret=/out"),
                            QStringLiteral(" Subdir = yes "),
                            QStringLiteral("PureConsole=maybe"),
                            QStringLiteral("ThreadsCount=two"),
                            QStringLiteral("IsOverwrite= SKIP"),
                            QStringLiteral("IsOverwrite=x"),
                            QStringLiteral("Daemon=$1F"),
                            QStringLiteral(""),
                            QStringLiteral("Charset="),
                            QStringLiteral("just words")};
    EXPECT_EQ(TkvOptionTable::Problems(lines),
              QStringList({QStringLiteral("unknown option Tagret, ignored"),
                           QStringLiteral("PureConsole=maybe is not a boolean, False used"),
                           QStringLiteral("ThreadsCount=two is not an integer, 1 used"),
                           QStringLiteral("IsOverwrite is given more than once, the first value used"),
                           QStringLiteral("\"just words\" is not KEY=VALUE, ignored")}));
    EXPECT_TRUE(TkvOptionTable::Problems({QStringLiteral("Reports=off"), QStringLiteral("RegExt=a=b")}).isEmpty());
}
