// The list-editing model with both editors' entries, driven through a fake view the way
// the dialogs drive it: the user types into the fields and chooses list positions.
#include "core/listeditor.h"

#include <gtest/gtest.h>

#include "../support/listeditorfixture.h"
#include "core/brokerentries.h"

using namespace Qt::Literals::StringLiterals;

namespace lyrevane {
namespace {

using testing::FakeEditorView;
using testing::FakePrompts;
using testing::MemorySettings;

class BrokerEditorTest : public testing::ListEditorFixture {
protected:
    void putBrokers(const QList<BrokerEntry>& brokers) { saveBrokerEntries(store, brokers); }
    // Opens the editor: loads, and asks the empty-list question as the shown dialog does.
    void open() {
        entries.load();
        openModel(model);
    }
    void type(const QString& name, const QString& url) { view.typed.texts = {name, url}; }
    QMap<QString, QString> storedBefore() const { return store.values; }

    int reloads = 0;
    BrokerEntries entries{{store, prompts, [this] { ++reloads; }}};
    ListEditorModel model{entries, view, prompts};
};

const QList<BrokerEntry> kThree = {{u"Alpha"_s, u"http://a.example/"_s},
                                   {u"Beta"_s, u"http://b.example/"_s},
                                   {u"Gamma"_s, u"http://g.example/"_s}};

TEST_F(BrokerEditorTest, DuplicateNameOnChangingSelectionRevertsQuietlyAndEnds) {
    putBrokers(kThree);
    open();
    EXPECT_EQ(view.items, (QStringList{u"Alpha"_s, u"Beta"_s, u"Gamma"_s}));
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.typed.texts, (QStringList{u"Alpha"_s, u"http://a.example/"_s}));

    type(u"Beta"_s, u"http://typed.example/"_s);
    model.select(2);
    // One message (the nested re-entry is quiet), the selection back, the typing kept.
    EXPECT_EQ(prompts.messages, QStringList{u"Error: Duplicate online broker name!"_s});
    EXPECT_EQ(prompts.icons.front(), MessageIcon::Exclamation);
    EXPECT_EQ(view.focus, QList<int>{BrokerEntries::NameField});
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(model.currentIndex(), 0);
    EXPECT_FALSE(model.reverting());
    EXPECT_EQ(view.typed.texts, (QStringList{u"Beta"_s, u"http://typed.example/"_s}));
    EXPECT_EQ(entries.table(), kThree);

    // New while the shown name is a duplicate: only the duplicate message, nothing added.
    model.newEntry();
    EXPECT_EQ(prompts.messages.size(), 2);
    EXPECT_EQ(prompts.messages.last(), u"Error: Duplicate online broker name!"_s);
    EXPECT_EQ(entries.count(), 3);

    // OK now: the message, then the last committed values are saved and the menu rebuilt.
    model.ok();
    EXPECT_EQ(prompts.messages.size(), 3);
    EXPECT_TRUE(view.closed && view.closedSaved);
    EXPECT_EQ(loadBrokerEntries(store), kThree);
    EXPECT_EQ(reloads, 1);
}

TEST_F(BrokerEditorTest, LetterCaseTwinsPassAndShareTheirKey) {
    putBrokers({{u"Alpha"_s, u"http://a.example/"_s}, {u"Beta"_s, u"http://b.example/"_s}});
    open();
    model.select(1);
    type(u"ALPHA"_s, u"http://upper.example/"_s);
    model.select(0);
    EXPECT_TRUE(prompts.messages.isEmpty());
    EXPECT_EQ(view.items, (QStringList{u"Alpha"_s, u"ALPHA"_s}));
    model.ok();
    // Store keys ignore letter case: the later entry's URL was written last.
    EXPECT_EQ(loadBrokerEntries(store),
              (QList<BrokerEntry>{{u"Alpha"_s, u"http://upper.example/"_s},
                                  {u"ALPHA"_s, u"http://upper.example/"_s}}));
}

TEST_F(BrokerEditorTest, NewTwiceWithoutRenamingAddsNothing) {
    putBrokers({{u"Alpha"_s, u"http://a.example/"_s}});
    open();
    type(u"Alpha Renamed"_s, u"http://a2.example/"_s);
    model.newEntry();
    EXPECT_EQ(view.items, (QStringList{u"Alpha Renamed"_s, u"New Online Broker"_s}));
    EXPECT_EQ(view.selected, 1);
    EXPECT_EQ(view.typed.texts, (QStringList{u"New Online Broker"_s, u"http://"_s}));
    EXPECT_EQ(entries.table().at(0).url, u"http://a2.example/"_s);

    model.newEntry();
    EXPECT_EQ(prompts.messages,
              QStringList{u"Error: You already have an online broker named 'New Online Broker'! "
                          u"Rename that one first."_s});
    EXPECT_EQ(entries.count(), 2);
    EXPECT_EQ(view.selected, 1);
}

TEST_F(BrokerEditorTest, DeleteInTheMiddleShowsTheNextAtTheEndThePrevious) {
    putBrokers(kThree);
    open();
    model.select(1);
    type(u"Beta edited, dropped"_s, u"x"_s);
    model.deleteEntry();
    EXPECT_EQ(view.items, (QStringList{u"Alpha"_s, u"Gamma"_s}));
    EXPECT_EQ(view.selected, 1);
    EXPECT_EQ(model.currentIndex(), 1);
    EXPECT_EQ(view.typed.texts, (QStringList{u"Gamma"_s, u"http://g.example/"_s}));

    model.deleteEntry();  // the last one: the one before it
    EXPECT_EQ(view.items, QStringList{u"Alpha"_s});
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.typed.texts, (QStringList{u"Alpha"_s, u"http://a.example/"_s}));
    EXPECT_TRUE(prompts.questions.isEmpty());
}

TEST_F(BrokerEditorTest, EmptyStoreQuestionNoClosesYesCreates) {
    open();
    EXPECT_EQ(prompts.questions,
              QStringList{u"There are no configured online brokers. Would you like to create a "
                          u"new one? Pressing No will close the Online Brokers."_s});
    EXPECT_EQ(prompts.questionIcons.front(), MessageIcon::Exclamation);
    EXPECT_TRUE(view.closed);
    EXPECT_FALSE(view.closedSaved);
    EXPECT_TRUE(store.values.isEmpty());
    EXPECT_EQ(reloads, 0);
}

TEST_F(BrokerEditorTest, EmptyStoreYesGivesOneNewEntryThatOkStores) {
    prompts.yesNo = {true};
    open();
    EXPECT_FALSE(view.closed);
    EXPECT_EQ(view.items, QStringList{u"New Online Broker"_s});
    EXPECT_EQ(view.typed.texts, (QStringList{u"New Online Broker"_s, u"http://"_s}));
    model.ok();
    EXPECT_EQ(loadBrokerEntries(store),
              (QList<BrokerEntry>{{u"New Online Broker"_s, u"http://"_s}}));
}

TEST_F(BrokerEditorTest, DeletingTheOnlyBrokerThenNoAndYesSavesAnEmptyList) {
    putBrokers({{u"Solo"_s, u"http://s.example/"_s}});
    open();
    prompts.yesNo = {false, true};
    model.deleteEntry();
    EXPECT_EQ(prompts.questions.size(), 2);
    EXPECT_EQ(prompts.questions.last(), u"Would you like to save your changes?"_s);
    EXPECT_EQ(prompts.questionIcons.back(), MessageIcon::Question);
    EXPECT_TRUE(view.closed && view.closedSaved);
    EXPECT_EQ(store.get(kBrokersSection, u"BrokerList"), QString());
    EXPECT_FALSE(store.get(kBrokersSection, u"BROKER_Solo_URL").has_value());
    EXPECT_EQ(reloads, 1);
}

TEST_F(BrokerEditorTest, DeletingTheOnlyBrokerThenNoAndNoChangesNothing) {
    putBrokers({{u"Solo"_s, u"http://s.example/"_s}});
    open();
    const auto before = storedBefore();
    prompts.yesNo = {false, false};
    model.deleteEntry();
    EXPECT_TRUE(view.closed);
    EXPECT_FALSE(view.closedSaved);
    EXPECT_EQ(store.values, before);
    EXPECT_EQ(reloads, 0);
}

TEST_F(BrokerEditorTest, ApplyThenCancelLeavesStoreAndMenuAlone) {
    putBrokers(kThree);
    open();
    const auto before = storedBefore();
    type(u"Applied"_s, u"http://applied.example/"_s);
    model.apply();
    EXPECT_EQ(view.items.first(), u"Applied"_s);
    EXPECT_EQ(store.values, before);
    model.cancel();
    EXPECT_EQ(store.values, before);
    EXPECT_EQ(reloads, 0);
    // Nothing more happens once the editor is closed.
    model.ok();
    EXPECT_EQ(store.values, before);
}

TEST_F(BrokerEditorTest, OkWithoutChangesRewritesTheSectionDroppingStrayKeys) {
    putBrokers(kThree);
    store.Set(kBrokersSection, u"BROKER_Gone_URL", u"http://gone.example/"_s);
    open();
    model.ok();
    EXPECT_FALSE(store.get(kBrokersSection, u"BROKER_Gone_URL").has_value());
    EXPECT_EQ(loadBrokerEntries(store), kThree);
}

TEST_F(BrokerEditorTest, MoreBrokersThanTheMenuHoldsAreAllKept) {
    QStringList names;
    for (int i = 0; i < kMaxBrokerEntries + 2; ++i) {
        names.append(QString::number(i));
    }
    store.Set(kBrokersSection, u"BrokerList", names.join(u"$!"_s));
    open();
    EXPECT_EQ(view.items.size(), kMaxBrokerEntries + 2);
    model.ok();
    EXPECT_EQ(store.get(kBrokersSection, u"BrokerList"), names.join(u"$!"_s));
}

// A store whose section rewrites fail.
class RefusingSettings final : public SettingsProvider {
public:
    QString readSetting(QStringView a, QStringView s, QStringView k, const QString& f) override {
        return inner.readSetting(a, s, k, f);
    }
    bool writeSetting(QStringView, QStringView, QStringView, const QString&) override {
        return false;
    }
    bool deleteSection(QStringView, QStringView) override { return false; }
    bool writeSettings(QStringView, QStringView, const KeyValueList&) override { return false; }
    bool rewriteSection(QStringView, QStringView, const KeyValueList&) override { return false; }
    SectionSnapshot readSection(QStringView a, QStringView s) override {
        return inner.readSection(a, s);
    }
    std::optional<SectionSnapshot> readSectionThenWrite(QStringView, QStringView, QStringView,
                                                        const QString&) override {
        return std::nullopt;
    }
    MemorySettings inner;
};

TEST(BrokerEditor, AFailedSaveIsReportedAndTheEditorStaysOpen) {
    RefusingSettings store;
    saveBrokerEntries(store.inner, kThree);
    FakePrompts prompts;
    int reloads = 0;
    BrokerEntries entries{{store, prompts, [&] { ++reloads; }}};
    FakeEditorView view;
    ListEditorModel model{entries, view, prompts};
    entries.load();
    model.load();
    model.ok();
    EXPECT_EQ(prompts.messages,
              QStringList{u"Error: The online brokers could not be saved! Nothing was changed."_s});
    EXPECT_FALSE(view.closed);
    EXPECT_EQ(reloads, 0);
    EXPECT_EQ(view.items, (QStringList{u"Alpha"_s, u"Beta"_s, u"Gamma"_s}));
}

}  // namespace
}  // namespace lyrevane
