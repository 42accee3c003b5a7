#include "functions_main.h"

#include <QtTest>

class tst_Partition_Items : public QObject
{
    Q_OBJECT

private slots:
    void items_data();
    void items();
};

static const char *const pcHeader = "Filesystem     1K-blocks     Used Available Use% Mounted on";

void tst_Partition_Items::items_data()
{
    QTest::addColumn<QStringList>("qslDf");
    QTest::addColumn<QStringList>("qslExpected");

    QTest::newRow("six lines") << QStringList{
        pcHeader,
        "/dev/sda1       41152736 12345678  26693928  32% /",
        "udev             4017844        0   4017844   0% /dev",
        "tmpfs             806168     1628    804540   1% /run",
        "/dev/sdb1      961301832 45678901 866767763   6% /media/data",
        ""} << QStringList{"/dev/sda1   --   /", "/dev/sdb1   --   /media/data"};

    QTest::newRow("substring /dev/shm, not /dev") << QStringList{
        pcHeader,
        "udev             4017844        0   4017844   0% /dev",
        "tmpfs            4030836        0   4030836   0% /dev/shm",
        ""} << QStringList{"tmpfs   --   /dev/shm"};

    QTest::newRow("blanks in mount point kept") << QStringList{
        pcHeader,
        "/dev/sdc1       30000000  1000000  29000000   4% /media/My Disk",
        "/dev/sdd1       30000000  1000000  29000000   4% /media/Two  Blanks ",
        ""} << QStringList{"/dev/sdc1   --   /media/My Disk", "/dev/sdd1   --   /media/Two  Blanks "};

    QTest::newRow("leading blank") << QStringList{
        pcHeader,
        "  /dev/sda1 100 50 50 50% /",
        ""} << QStringList{"/dev/sda1   --   /"};

    QTest::newRow("empty output") << QStringList{""} << QStringList{};
    QTest::newRow("header only") << QStringList{pcHeader, ""} << QStringList{};

    QTest::newRow("header never listed") << QStringList{
        "/dev/sdz1 1 1 1 1% /header",
        "/dev/sda1 100 50 50 50% /",
        ""} << QStringList{"/dev/sda1   --   /"};

    QTest::newRow("wrapped long device") << QStringList{
        pcHeader,
        "/dev/mapper/vg_with_a_very_long_name-lv_home",
        "                205374420 50000000 144918452  26% /home",
        "/dev/sda1       41152736 12345678  26693928  32% /",
        ""} << QStringList{"/dev/mapper/vg_with_a_very_long_name-lv_home   --   /home",
                           "/dev/sda1   --   /"};

    QTest::newRow("short /dev/ lines skipped") << QStringList{
        pcHeader,
        "/dev/sda1 100 50",
        "/dev/sdb1 100 50 50 50%",
        "/dev/mapper/last-line-without-continuation"} << QStringList{};

    QTest::newRow("order and duplicates kept") << QStringList{
        pcHeader,
        "/dev/sdb1 1 1 1 1% /b",
        "/dev/sda1 1 1 1 1% /a",
        "/dev/sdb1 1 1 1 1% /b",
        ""} << QStringList{"/dev/sdb1   --   /b", "/dev/sda1   --   /a", "/dev/sdb1   --   /b"};
}

void tst_Partition_Items::items()
{
    QFETCH(QStringList, qslDf);
    QFETCH(QStringList, qslExpected);
    QCOMPARE(qslPartition_Items(qslDf), qslExpected);
}

QTEST_APPLESS_MAIN(tst_Partition_Items)
#include "tst_partition_items.moc"
