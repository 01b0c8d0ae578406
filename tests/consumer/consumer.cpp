// A program outside the library: it sees only the public headers and libCore.so.
#include <profile.h>
#include <tavoglobal.h>

#include <QtCore/qdir.h>
#include <QtCore/qtimer.h>
#include <QtSql/qsqlquery.h>
#include <QtWidgets/qapplication.h>

#include <cstdio>

static int failures = 0;

#define EXPECT(condition)                                                                        \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            std::fprintf(stderr, "FAIL %s:%d: %s\n", __FILE__, __LINE__, #condition);            \
            ++failures;                                                                          \
        }                                                                                        \
    } while (false)

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("consumer"));

    // A workstation whose profile.db does not exist yet: the store warns once, then works.
    int boxes = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            if (box->isVisible()) {
                ++boxes;
                box->done(QMessageBox::Ok);
            }
        }
    });
    closer.start(10);
    for (const char *name : { "data.db", "qc.db", "syslog.db" }) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "setup");
        db.setDatabaseName(QLatin1String(name));
        EXPECT(db.open());
        QSqlQuery(db).exec("create table t (x)");
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("setup");
    }

    Profile &p = Profile::instance();
    EXPECT(boxes == 1);
    EXPECT(&p == &Profile::instance());

    p.set_statim_sample_prefix("S", false);
    EXPECT(p.statim_sample_prefix("x") == "S");
    p.set_qc_sample_prefix("QC", false);
    EXPECT(p.qc_sample_prefix("x") == "QC");
    p.set_result_is_preparing("p", false);
    EXPECT(p.result_is_preparing("x") == "p");
    p.set_result_can_not_be_calculated("---.-", false);
    EXPECT(p.result_can_not_be_calculated("x") == "---.-");
    p.set_result_is_incubating("i", false);
    EXPECT(p.result_is_incubating("x") == "i");
    p.set_result_is_analysing("a", false);
    EXPECT(p.result_is_analysing("x") == "a");
    p.set_result_not_clotted("n", false);
    EXPECT(p.result_not_clotted("x") == "n");
    p.set_dilution_result_flag("!", false);
    EXPECT(p.dilution_result_flag("x") == "!");
    p.set_lower_report_limit_flag("<", false);
    EXPECT(p.lower_report_limit_flag("x") == "<");
    p.set_upper_report_limit_flag(">", false);
    EXPECT(p.upper_report_limit_flag("x") == ">");
    p.set_lower_mark_limit_flag("L", false);
    EXPECT(p.lower_mark_limit_flag("x") == "L");
    p.set_upper_mark_limit_flag("H", false);
    EXPECT(p.upper_mark_limit_flag("x") == "H");
    p.set_manual_input_flag("M", false);
    EXPECT(p.manual_input_flag("x") == "M");
    p.set_color_of_waiting(Qt::red, false);
    EXPECT(p.color_of_waiting(Qt::black) == QColor(Qt::red));
    p.set_color_of_dispensing(Qt::green, false);
    EXPECT(p.color_of_dispensing(Qt::black) == QColor(Qt::green));
    p.set_color_of_incubating(Qt::blue, false);
    EXPECT(p.color_of_incubating(Qt::black) == QColor(Qt::blue));
    p.set_color_of_analysing(Qt::cyan, false);
    EXPECT(p.color_of_analysing(Qt::black) == QColor(Qt::cyan));
    p.set_color_of_null_result(Qt::gray, false);
    EXPECT(p.color_of_null_result(Qt::black) == QColor(Qt::gray));
    p.set_analysis_display_assay("PT", false);
    EXPECT(p.analysis_display_assay("x") == "PT");
    p.set_patient_display_fields("name", false);
    EXPECT(p.patient_display_fields("x") == "name");
    p.set_max_qc_file(30, false);
    EXPECT(p.max_qc_file(0) == 30);
    p.set_qc_method(2, false);
    EXPECT(p.qc_method(0) == 2);
    p.set_hospital("Clinic", false);
    EXPECT(p.hospital("x") == "Clinic");
    p.set_is_touch_screen(true, false);
    EXPECT(p.is_touch_screen(false));

    EXPECT(p.value("hospital", QVariant()) == QVariant("Clinic"));
    EXPECT(p.dataDatabase().isOpen());

    {
        WaitCursor busy;
        EXPECT(QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        EXPECT(information("done", QMessageBox::Ok, QMessageBox::Ok) == QMessageBox::Ok);
    }
    EXPECT(QApplication::overrideCursor() == nullptr);
    EXPECT(boxes == 2);

    bool flag = false;
    {
        BoolLocker locker(flag, true);
        EXPECT(flag);
    }
    EXPECT(!flag);

    if (failures == 0)
        std::printf("consumer: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
