#include "Fiber.h"

#include <QTest>
#include <stdexcept>

namespace {

// Counts the objects of a work that are alive: unwinding a cancelled work
// destroys them.
struct Alive {
    int& count;
    explicit Alive(int& c) : count(c) { ++count; }
    ~Alive() { --count; }
    Alive(const Alive&) = delete;
    Alive& operator=(const Alive&) = delete;
};

// Runs a fiber with a slice of 0 ms (it pauses at every look) until it
// ends; the runs it took, -1 when it did not end within `most`.
int runsToEnd(Fiber& fiber, int most = 1000) {
    for (int runs = 1; runs <= most; ++runs)
        if (fiber.run(0))
            return runs;
    return -1;
}

} // namespace

// The stacks the server runs long M commands on, a slice at a time.
class TestFiber : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pausesAndGoesOnWhereItStopped_data();
    void pausesAndGoesOnWhereItStopped();
    void errorComesOutOfTheRunItEndsIn();
    void cancelledWorkUnwinds();
    void runInsideAFiberIsRefused();
};

// Each look after the slice pauses the work, and the next run goes on with
// the work's own variables as they were; without a fiber, or while
// mayPause says no, the look does not pause.
void TestFiber::pausesAndGoesOnWhereItStopped_data() {
    QTest::addColumn<int>("looks");
    QTest::addColumn<bool>("mayPause");
    QTest::addColumn<int>("runs");
    QTest::newRow("no look") << 0 << true << 1;
    QTest::newRow("three looks") << 3 << true << 4;
    QTest::newRow("three looks, not allowed") << 3 << false << 1;
    QTest::newRow("thousand looks") << 1000 << true << 1001;
}

void TestFiber::pausesAndGoesOnWhereItStopped() {
    QFETCH(int, looks);
    QFETCH(bool, mayPause);
    QFETCH(int, runs);
    QCOMPARE(Fiber::pauseIfDue(), qint64(0));
    QList<int> seen;
    Fiber fiber(
        [&] {
            QList<int> own; // on the fiber's stack
            for (int i = 0; i < looks; ++i) {
                own.append(i);
                Fiber::pauseIfDue();
            }
            seen = own;
        },
        [&] { return mayPause; });
    QCOMPARE(runsToEnd(fiber, 2000), runs);
    QVERIFY(fiber.finished());
    QCOMPARE(seen.size(), looks);
    for (int i = 0; i < looks; ++i)
        QCOMPARE(seen[i], i);
    QVERIFY(fiber.run(0)); // an ended work stays ended
}

void TestFiber::errorComesOutOfTheRunItEndsIn() {
    Fiber fiber([] {
        Fiber::pauseIfDue();
        throw std::runtime_error("kaputt");
    });
    QVERIFY(!fiber.run(0));
    try {
        fiber.run(0);
        QFAIL("no error");
    } catch (const std::runtime_error& e) {
        QCOMPARE(QByteArray(e.what()), QByteArray("kaputt"));
    }
    QVERIFY(fiber.finished());
}

// A paused work that is cancelled or destroyed unwinds from its pause: its
// objects are destroyed and nothing after the pause runs. A work that
// never ran does not run.
void TestFiber::cancelledWorkUnwinds() {
    int alive = 0;
    bool after = false;
    QString caught;
    auto work = [&] {
        Alive a(alive);
        try {
            Fiber::pauseIfDue();
        } catch (const Fiber::Cancelled& e) {
            caught = QString::fromUtf8(e.what());
            throw;
        }
        after = true;
    };
    {
        Fiber fiber(work);
        QVERIFY(!fiber.run(0));
        QCOMPARE(alive, 1);
        fiber.cancel();
        QVERIFY(fiber.finished());
    }
    QCOMPARE(alive, 0);
    QCOMPARE(caught, QString("Befehl abgebrochen"));
    caught.clear();
    {
        Fiber fiber(work);
        QVERIFY(!fiber.run(0));
    }
    QCOMPARE(alive, 0);
    QCOMPARE(caught, QString("Befehl abgebrochen"));
    QVERIFY(!after);
    bool ran = false;
    {
        Fiber never([&] { ran = true; });
    }
    QVERIFY(!ran);
}

void TestFiber::runInsideAFiberIsRefused() {
    QString error;
    Fiber outer([&] {
        Fiber inner([] {});
        try {
            inner.run(0);
        } catch (const std::logic_error& e) {
            error = QString::fromUtf8(e.what());
        }
    });
    QVERIFY(outer.run(0));
    QCOMPARE(error, QString("a fiber runs inside another one"));
}

QTEST_GUILESS_MAIN(TestFiber)
#include "test_fiber.moc"
