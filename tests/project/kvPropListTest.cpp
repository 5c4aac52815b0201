// Reading and writing control properties by name, and copying between bound controls and options.
#include "kvPropList.h"
#include "kvProjectFixture.h"

#include <QObject>
#include <QVariant>

namespace {

/// Stands for a labelled edit: a text property.
class TkvFakeEdit : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
public:
    QString text() const { return value; }
    void setText(const QString &t) { value = t; }
    QString value;
};

/// Stands for a check box, with a few other property kinds besides `checked`.
class TkvFakeCheck : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool checked READ isChecked WRITE setChecked)
    Q_PROPERTY(Shade shade READ shade WRITE setShade)
    Q_PROPERTY(int count READ count WRITE setCount)
    Q_PROPERTY(double ratio READ ratio WRITE setRatio)
    Q_PROPERTY(QString label READ label)
public:
    enum Shade
    {
        Light,
        Dark,
        VeryDark
    };
    Q_ENUM(Shade)

    bool isChecked() const { return checkedValue; }
    void setChecked(bool c) { checkedValue = c; }
    Shade shade() const { return shadeValue; }
    void setShade(Shade s) { shadeValue = s; }
    int count() const { return countValue; }
    void setCount(int c) { countValue = c; }
    double ratio() const { return ratioValue; }
    void setRatio(double r) { ratioValue = r; }
    QString label() const { return QStringLiteral("fixed"); }

    bool checkedValue = false;
    Shade shadeValue = Light;
    int countValue = 5;
    double ratioValue = 0.5;
};

TEST(KvPropListTest, ReadsEveryKindByNameWithoutRegardToCase)
{
    TkvFakeCheck check;
    TkvFakeEdit edit;
    edit.value = QStringLiteral("/in/*.htm?");
    TkvPropList checkBinding(&check);
    TkvPropList editBinding(&edit);
    EXPECT_EQ(editBinding.ReadProperty(QStringLiteral("Text")), QStringLiteral("/in/*.htm?"));
    EXPECT_EQ(checkBinding.ReadProperty(QStringLiteral("Checked")), QStringLiteral("False"));
    check.checkedValue = true;
    EXPECT_EQ(checkBinding.ReadProperty(QStringLiteral("CHECKED")), QStringLiteral("True"));
    check.shadeValue = TkvFakeCheck::VeryDark;
    EXPECT_EQ(checkBinding.ReadProperty(QStringLiteral("shade")), QStringLiteral("VeryDark"));
    EXPECT_EQ(checkBinding.ReadProperty(QStringLiteral("Count")), QStringLiteral("5"));
    EXPECT_EQ(checkBinding.ReadProperty(QStringLiteral("Missing")), QString());
    EXPECT_EQ(checkBinding.ReadProperty(QString()), QString());
    EXPECT_EQ(checkBinding.ReadProperty(QStringLiteral("objectName")), QString());
}

TEST(KvPropListTest, WritesOnlyWhatTheKindAccepts)
{
    TkvFakeCheck check;
    TkvPropList binding(&check);
    binding.WriteProperty(QStringLiteral("Checked"), QStringLiteral("tRUE"));
    EXPECT_TRUE(check.checkedValue);
    binding.WriteProperty(QStringLiteral("Checked"), QStringLiteral("1")); // not a value name
    EXPECT_TRUE(check.checkedValue);
    binding.WriteProperty(QStringLiteral("Checked"), QString()); // the empty text is False
    EXPECT_FALSE(check.checkedValue);

    binding.WriteProperty(QStringLiteral("Shade"), QStringLiteral("dark"));
    EXPECT_EQ(check.shadeValue, TkvFakeCheck::Dark);
    binding.WriteProperty(QStringLiteral("Shade"), QStringLiteral("Black"));
    EXPECT_EQ(check.shadeValue, TkvFakeCheck::Dark);

    binding.WriteProperty(QStringLiteral("Count"), QStringLiteral("9")); // integers are never written
    EXPECT_EQ(check.countValue, 5);
    binding.WriteProperty(QStringLiteral("Ratio"), QStringLiteral("2"));
    EXPECT_EQ(check.ratioValue, 0.5);
    binding.WriteProperty(QStringLiteral("Label"), QStringLiteral("x")); // read-only
    binding.WriteProperty(QStringLiteral("Missing"), QStringLiteral("x"));
    EXPECT_EQ(binding.ReadProperty(QStringLiteral("label")), QStringLiteral("fixed"));

    TkvFakeEdit edit;
    TkvPropList editBinding(&edit);
    editBinding.WriteProperty(QStringLiteral("text"), QStringLiteral("a b"));
    EXPECT_EQ(edit.value, QStringLiteral("a b"));
    editBinding.WriteProperty(QStringLiteral("Text"), QString());
    EXPECT_EQ(edit.value, QString());
}

TEST(KvPropListTest, DestroyedControlIsHarmless)
{
    auto edit = std::make_unique<TkvFakeEdit>();
    TkvPropList binding(edit.get());
    edit.reset();
    EXPECT_EQ(binding.ReadProperty(QStringLiteral("Text")), QString());
    binding.WriteProperty(QStringLiteral("Text"), QStringLiteral("x"));
}

/// A store with the main window's three bound controls.
class KvBindingTest : public KvProjectFixture
{
protected:
    void SetUp() override
    {
        KvProjectFixture::SetUp();
        Name(source, "eSource", "Text");
        Name(subdir, "cSubdir", "Checked");
        Name(target, "eTarget", "Text");
    }

    static void Name(QObject &control, const char *name, const char *hint)
    {
        control.setObjectName(QString::fromLatin1(name));
        control.setProperty("hint", QString::fromLatin1(hint));
        control.setProperty("tag", -1);
    }

    void BindAll()
    {
        store->BindControl(&source);
        store->BindControl(&subdir);
        store->BindControl(&target);
    }

    TkvFakeEdit source;
    TkvFakeCheck subdir;
    TkvFakeEdit target;
};

TEST_F(KvBindingTest, NothingIsCopiedWhileNoControlIsBound)
{
    store->SetOptionsText(QStringLiteral("eSource.Text=/x"));
    store->OptionsToControls();
    store->ControlsToOptions();
    EXPECT_EQ(store->OptionLines(), QStringList({QStringLiteral("eSource.Text=/x")}));
    EXPECT_EQ(source.value, QString());
}

TEST_F(KvBindingTest, FallbackKeyIsReadAndRemovedOnlyWhenTheKeyIsEmpty)
{
    BindAll();
    store->SetOptionsText(QStringLiteral("eSource.Text=/old/*.htm?\nTarget=/out"));
    store->OptionsToControls();
    EXPECT_EQ(source.value, QStringLiteral("/old/*.htm?"));
    EXPECT_EQ(target.value, QStringLiteral("/out"));
    EXPECT_EQ(store->OptionLines(), QStringList({QStringLiteral("Target=/out")}));
    store->ControlsToOptions();
    EXPECT_EQ(store->GetSource(), QStringLiteral("/old/*.htm?"));

    store->SetOptionsText(QStringLiteral("Source=/new\neSource.Text=/old"));
    store->OptionsToControls();
    EXPECT_EQ(source.value, QStringLiteral("/new"));
    EXPECT_EQ(store->GetOption(QStringLiteral("eSource.Text")), QStringLiteral("/old"));
}

TEST_F(KvBindingTest, CheckBoxFollowsBooleanNamesOnly)
{
    BindAll();
    store->SetOptionsText(QStringLiteral("Subdir=TRUE"));
    store->OptionsToControls();
    EXPECT_TRUE(subdir.checkedValue);
    store->SetOptionsText(QStringLiteral("Subdir=1")); // a number keeps the box as it was
    store->OptionsToControls();
    EXPECT_TRUE(subdir.checkedValue);
    EXPECT_TRUE(store->GetSubdir());
    store->SetOptionsText(QString()); // no line clears it
    store->OptionsToControls();
    EXPECT_FALSE(subdir.checkedValue);
    store->SetOptionsText(QStringLiteral("Subdir=0"));
    subdir.checkedValue = true;
    store->OptionsToControls();
    EXPECT_TRUE(subdir.checkedValue);
    store->ControlsToOptions(); // the box wins before a window run
    EXPECT_EQ(store->GetOption(QStringLiteral("Subdir")), QStringLiteral("True"));
}

TEST_F(KvBindingTest, SavingWritesControlValuesAndDropsEmptyEdits)
{
    BindAll();
    const QString path = HomeFile(QStringLiteral("p.batch-web2arc"));
    store->ProjectFile = path;
    store->SetOptionsText(QStringLiteral("Source=/s\nSubdir=True\nTarget=/t\nThreadsCount=2"));
    store->OptionsToControls();
    source.value.clear();
    subdir.checkedValue = false;
    store->SaveProject();
    EXPECT_EQ(ReadAll(path), QByteArray("Subdir=False\r\nTarget=/t\r\nThreadsCount=2\r\n"));

    // New empties the edits and clears the box.
    store->NewProject();
    EXPECT_EQ(target.value, QString());
    EXPECT_FALSE(subdir.checkedValue);
}

TEST_F(KvBindingTest, BindingsAreCreatedOnceAndMarksResetAtTheEnd)
{
    store->BindControl(&source);
    store->BindControl(&source); // twice: copied twice, same result
    store->SetOptionsText(QStringLiteral("Source=/a"));
    store->OptionsToControls();
    EXPECT_EQ(source.value, QStringLiteral("/a"));
    const int tag = source.property("tag").toInt();
    EXPECT_GT(tag, 0);
    store->ControlsToOptions();
    EXPECT_EQ(source.property("tag").toInt(), tag);
    EXPECT_EQ(store->OptionLines(), QStringList({QStringLiteral("Source=/a")}));

    // A stale positive mark from somewhere else does not pick another control's binding.
    target.setProperty("tag", tag);
    store->BindControl(&target);
    store->SetOption(QStringLiteral("Target"), QStringLiteral("/t"));
    store->OptionsToControls();
    EXPECT_EQ(target.value, QStringLiteral("/t"));
    EXPECT_EQ(source.value, QStringLiteral("/a"));
    EXPECT_NE(target.property("tag").toInt(), tag);

    store.reset();
    EXPECT_EQ(source.property("tag").toInt(), -1);
    EXPECT_EQ(target.property("tag").toInt(), -1);
}

TEST_F(KvBindingTest, ControlDestroyedBeforeTheStoreIsSkipped)
{
    auto edit = std::make_unique<TkvFakeEdit>();
    Name(*edit, "eSource", "Text");
    store->BindControl(edit.get());
    store->BindControl(&target);
    edit.reset();
    store->SetOptionsText(QStringLiteral("Source=/s\nTarget=/t"));
    store->OptionsToControls();
    store->ControlsToOptions();
    EXPECT_EQ(target.value, QStringLiteral("/t"));
    EXPECT_EQ(store->GetSource(), QStringLiteral("/s"));
}

} // namespace

#include "kvPropListTest.moc"
