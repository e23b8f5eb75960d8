#include "connectlib/types/cp_state_flags.h"
#include "connectlib/types/tc_data.h"
#include "connectlib/types/tc_entry_item.h"
#include "tests/connectlib/support/ktlib_test_support.h"

#include "tests/connectlib/support/ktlib_test_support.h"
#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

using namespace ConnectLib;

namespace {

TCData record(quint64 id, const QString& name, CPStateFlag state)
{
    return TCData(id, name, QStringLiteral("Model"), true, QStringLiteral("HID"),
                  QStringLiteral("1.2.3"), QStringLiteral("2.0.0"), QStringLiteral("3.1.4"),
                  QStringLiteral("black"), QStringLiteral("sport"), state);
}

TEST(TCData, EmptyRecordAndIds)
{
    const TCData empty;
    EXPECT_EQ(empty.deviceId(), 0u);
    EXPECT_FALSE(empty.isLinkValid());
    EXPECT_EQ(empty.tcState(), TC_NOT_FOUND);
    EXPECT_TRUE(empty.name().isEmpty() && empty.model().isEmpty() && empty.type().isEmpty());

    const struct {
        quint64 id;
        const char* hex;
        bool local;
    } rows[] = {
        {0xFFFFFFFE, "FFFFFFFE", true},    {0, "00000000", false},
        {0x1A2B, "00001A2B", false},       {0xFFFFFFFF, "FFFFFFFF", false},
        {0x1FFFFFFFE, "1FFFFFFFE", false}, {0xABCDEF0123456789, "ABCDEF0123456789", false},
    };
    for (const auto& row : rows) {
        const TCData data = record(row.id, QString(), OK);
        EXPECT_EQ(data.deviceIdAsHexString(), QString::fromLatin1(row.hex)) << row.hex;
        EXPECT_EQ(data.isLocalDevice(), row.local) << row.hex;
    }
}

TEST(TCData, EqualityByIdOnlyAndLinkSetter)
{
    TCData a = record(7, QStringLiteral("Dorvane"), OK);
    const TCData b(7, QString(), QString(), false, QStringLiteral("TCP"), {}, {}, {}, {}, {},
                   TRY_OPERATION_AGAIN);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == record(8, QStringLiteral("Dorvane"), OK));

    a.setLinkValid(false);
    EXPECT_FALSE(a.isLinkValid());
    TCData copy;
    copy = a;
    EXPECT_EQ(copy.firmware(), QStringLiteral("3.1.4"));
    EXPECT_EQ(copy.name(), QStringLiteral("Dorvane"));
}

TEST(TCEntryItem, PathConstructor)
{
    const struct {
        const char* path;
        const char* name;
        TCEntryItem::EntryType type;
    } rows[] = {
        {"/U/0/DSAVE", "DSAVE", TCEntryItem::Directory},
        {"/U/0/DSAVE/FILE.BPB", "FILE.BPB", TCEntryItem::File},
        {"/", "/", TCEntryItem::Directory},
        {"", "/", TCEntryItem::Directory},
        {"/U/0/", "/", TCEntryItem::Directory},
    };
    TCEntryItem parent;
    for (const auto& row : rows) {
        const TCEntryItem item(QString::fromLatin1(row.path), &parent);
        EXPECT_EQ(item.entryName(), QString::fromLatin1(row.name)) << row.path;
        EXPECT_EQ(item.type(), row.type) << row.path;
        EXPECT_EQ(item.absolutePath(), QString::fromLatin1(row.path)) << row.path;
        EXPECT_EQ(item.size(), 0) << row.path;
    }
    EXPECT_EQ(parent.childCount(), 0); // the constructor does not link the node in
}

// root "/" -> U -> { 0 -> FILE.BPB, 1 }
std::unique_ptr<TCEntryItem> threeLevels()
{
    auto root = std::make_unique<TCEntryItem>(QStringLiteral("/"), nullptr);
    auto* u = new TCEntryItem(QStringLiteral("/U"), root.get());
    root->appendChild(u);
    auto* zero =
        new TCEntryItem(QStringLiteral("0"), TCEntryItem::Directory, QStringLiteral("/U/0"),
                        QDateTime::fromSecsSinceEpoch(1000), QDateTime::fromSecsSinceEpoch(2000),
                        QDateTime::fromSecsSinceEpoch(500), 0, u);
    u->appendChild(zero);
    u->appendChild(new TCEntryItem(QStringLiteral("/U/1"), u));
    zero->appendChild(new TCEntryItem(QStringLiteral("FILE.BPB"), TCEntryItem::File,
                                      QStringLiteral("/U/0/FILE.BPB"), {}, {}, {}, 4096, zero));
    return root;
}

// Same shape and values, and every parent link points into the given tree.
void expectThreeLevels(TCEntryItem& root)
{
    ASSERT_EQ(root.childCount(), 1);
    TCEntryItem* u = root.child(0);
    EXPECT_EQ(u->parent(), &root);
    ASSERT_EQ(u->childCount(), 2);
    TCEntryItem* zero = u->child(0);
    EXPECT_EQ(zero->parent(), u);
    EXPECT_EQ(zero->modified(), QDateTime::fromSecsSinceEpoch(1000));
    EXPECT_EQ(zero->touched(), QDateTime::fromSecsSinceEpoch(2000));
    EXPECT_EQ(zero->created(), QDateTime::fromSecsSinceEpoch(500));
    EXPECT_EQ(u->child(1)->entryName(), QStringLiteral("1"));
    EXPECT_EQ(u->child(1)->parent(), u);
    ASSERT_EQ(zero->childCount(), 1);
    TCEntryItem* file = zero->child(0);
    EXPECT_EQ(file->parent(), zero);
    EXPECT_EQ(file->entryName(), QStringLiteral("FILE.BPB"));
    EXPECT_EQ(file->type(), TCEntryItem::File);
    EXPECT_EQ(file->size(), 4096);
    EXPECT_EQ(file->absolutePath(), QStringLiteral("/U/0/FILE.BPB"));
}

TEST(TCEntryItem, CopyIsAnIndependentRoot)
{
    auto source = threeLevels();
    TCEntryItem* sourceU = source->child(0);
    auto copy = std::make_unique<TCEntryItem>(*sourceU);
    EXPECT_EQ(copy->parent(), nullptr);
    EXPECT_EQ(copy->entryName(), QStringLiteral("U"));
    ASSERT_EQ(copy->childCount(), 2);
    EXPECT_NE(copy->child(0), sourceU->child(0));
    EXPECT_EQ(copy->child(0)->parent(), copy.get());

    auto whole = std::make_unique<TCEntryItem>(*source);
    expectThreeLevels(*whole);
    whole.reset();
    copy.reset();
    expectThreeLevels(*source);
}

TEST(TCEntryItem, AssignmentReplacesChildren)
{
    auto source = threeLevels();
    TCEntryItem parent;
    TCEntryItem target(QStringLiteral("/OLD"), &parent);
    target.appendChild(new TCEntryItem(QStringLiteral("/OLD/A"), &target));
    target.appendChild(new TCEntryItem(QStringLiteral("/OLD/B.TXT"), &target));

    target = *source;
    EXPECT_EQ(target.parent(), nullptr);
    EXPECT_EQ(target.entryName(), QStringLiteral("/"));
    expectThreeLevels(target);

    target = target; // self-assignment changes nothing
    expectThreeLevels(target);
}

TEST(TCEntryItem, AssignmentFromOwnDescendant)
{
    auto root = threeLevels();
    TCEntryItem* zero = root->child(0)->child(0);
    *root = *zero; // zero is deleted by the assignment; copied before that
    EXPECT_EQ(root->entryName(), QStringLiteral("0"));
    EXPECT_EQ(root->absolutePath(), QStringLiteral("/U/0"));
    ASSERT_EQ(root->childCount(), 1);
    EXPECT_EQ(root->child(0)->entryName(), QStringLiteral("FILE.BPB"));
    EXPECT_EQ(root->child(0)->parent(), root.get());
}

TEST(TCEntryItem, ChildLookup)
{
    auto root = threeLevels();
    TCEntryItem* u = root->child(0);
    EXPECT_EQ(u->child(-1), nullptr);
    EXPECT_EQ(u->child(u->childCount()), nullptr);

    u->appendChild(new TCEntryItem(QStringLiteral("/U/DSAVE"), u));
    EXPECT_EQ(u->hasChild(QStringLiteral("dsave")), 2);
    EXPECT_EQ(u->hasChild(QStringLiteral("DSAV")), -1);

    EXPECT_EQ(root->indexOfParent(), 0);
    EXPECT_EQ(u->child(1)->indexOfParent(), 1);
    TCEntryItem stranger(QStringLiteral("/X"), u); // never appended
    EXPECT_EQ(stranger.indexOfParent(), -1);

    TCEntryItem* removed = u->child(1);
    u->removeChild(removed);
    EXPECT_EQ(u->childCount(), 2);
    EXPECT_EQ(u->hasChild(QStringLiteral("1")), -1);
    u->removeChild(removed); // no longer a child: nothing happens
    EXPECT_EQ(u->childCount(), 2);
    delete removed; // ownership came back
}

class Sender : public QObject {
    Q_OBJECT
signals:
    void SIGNAL_result(ConnectLib::TCData data, ConnectLib::TCEntryItem tree,
                       ConnectLib::CPStateFlags flags);
};

class Receiver : public QObject {
    Q_OBJECT
public:
    std::vector<std::tuple<TCData, TCEntryItem, CPStateFlags>> received;
public slots:
    void SLOT_result(ConnectLib::TCData data, ConnectLib::TCEntryItem tree,
                     ConnectLib::CPStateFlags flags)
    {
        received.emplace_back(data, tree, flags);
    }
};

TEST(MetaTypes, RecordAndTreeCrossThreadsInAQueuedSignal)
{
    qRegisterMetaType<ConnectLib::TCData>("ConnectLib::TCData");
    qRegisterMetaType<ConnectLib::CPStateFlags>("ConnectLib::CPStateFlags");
    qRegisterMetaType<ConnectLib::TCEntryItem>("ConnectLib::TCEntryItem");

    Sender sender;
    Receiver receiver;
    ASSERT_TRUE(QObject::connect(
        &sender,
        SIGNAL(
            SIGNAL_result(ConnectLib::TCData, ConnectLib::TCEntryItem, ConnectLib::CPStateFlags)),
        &receiver,
        SLOT(SLOT_result(ConnectLib::TCData, ConnectLib::TCEntryItem, ConnectLib::CPStateFlags)),
        Qt::QueuedConnection));

    std::thread worker([&sender] {
        auto tree = threeLevels();
        emit sender.SIGNAL_result(record(0x1234, QStringLiteral("Dorvane"), OK), *tree,
                                  OK | FILE_EXISTS);
    }); // the worker's tree is gone before the receiver runs
    worker.join();

    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();

    ASSERT_EQ(receiver.received.size(), 1u);
    auto& [data, tree, flags] = receiver.received.front();
    EXPECT_EQ(data.deviceIdAsHexString(), QStringLiteral("00001234"));
    EXPECT_EQ(data.name(), QStringLiteral("Dorvane"));
    EXPECT_EQ(flags, OK | FILE_EXISTS);
    expectThreeLevels(tree);
}

} // namespace

#include "types_test.moc"
