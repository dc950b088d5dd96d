// Writes a sample medical-act database, as terminals receive them: a table
// R_DBINFO describing the base, and act, tariff and modifier tables filled
// with deterministic made-up rows up to roughly the size asked.
//
//   make-sample-db OUTPUT.db [SIZE_MB]      (default 3 MB)
//   make-sample-db --help
//
// An existing OUTPUT is never overwritten; a word starting with "-" is an
// option, never a file name (./-x.db names such a file).

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>
#include <cstdlib>

namespace {

const char *const kChapters[] = {
    "Consultation",   "Radiologie",       "Biologie", "Chirurgie",     "Anesthésie",
    "Kinésithérapie", "Soins infirmiers", "Dentaire", "Ophtalmologie", "Cardiologie",
};
const char *const kWords[] = {
    "examen",   "bilan",     "séance",    "acte",        "contrôle",    "suivi",        "pose",
    "ablation", "réfection", "injection", "prélèvement", "échographie", "radiographie", "suture",
};

bool exec(QSqlQuery &query, const QString &sql)
{
    if (query.exec(sql))
        return true;
    std::fprintf(stderr, "make-sample-db: %s\n", qPrintable(query.lastError().text()));
    return false;
}

bool fill(QSqlDatabase &db, long targetBytes)
{
    QSqlQuery q(db);
    if (!exec(q, "CREATE TABLE R_DBINFO (NUM_CONCEPT INTEGER, VALEUR TEXT)") ||
        !exec(q, "CREATE TABLE ACTE (CODE TEXT PRIMARY KEY, CHAPITRE TEXT, LIBELLE TEXT, "
                 "DATE_EFFET TEXT, DATE_FIN TEXT)") ||
        !exec(q, "CREATE TABLE TARIF (CODE_ACTE TEXT, ZONE INTEGER, MONTANT REAL, "
                 "COEFFICIENT REAL)") ||
        !exec(q, "CREATE TABLE MODIFICATEUR (CODE TEXT, LIBELLE TEXT, TAUX REAL)"))
        return false;

    const struct {
        int number;
        const char *text;
    } info[] = {
        {1, "Base des actes médicaux"}, {2, "2026.12"}, {3, "2026-12-01"},
        {4, "Nomenclature générale"},   {5, "FR"},
    };
    q.prepare("INSERT INTO R_DBINFO VALUES (?, ?)");
    for (const auto &row : info) {
        q.addBindValue(row.number);
        q.addBindValue(QString::fromUtf8(row.text));
        if (!q.exec())
            return false;
    }

    db.transaction();
    QSqlQuery act(db), tariff(db);
    act.prepare("INSERT INTO ACTE VALUES (?, ?, ?, ?, ?)");
    tariff.prepare("INSERT INTO TARIF VALUES (?, ?, ?, ?)");
    const long rows = targetBytes / 130 + 1; // about 130 bytes of file per act
    for (long i = 0; i < rows; ++i) {
        const QString code =
            QString("%1%2").arg(QChar('A' + int(i % 26))).arg(i, 6, 10, QChar('0'));
        const int chapter = int(i % 10);
        act.addBindValue(code);
        act.addBindValue(QString::fromUtf8(kChapters[chapter]));
        act.addBindValue(QString::fromUtf8("%1 %2 %3 n°%4")
                             .arg(QString::fromUtf8(kWords[i % 14]),
                                  QString::fromUtf8(kWords[(i / 14) % 14]),
                                  QString::fromUtf8(kChapters[(i / 7) % 10]).toLower())
                             .arg(i));
        act.addBindValue(QString("20%1-%2-01").arg(20 + i % 7).arg(1 + i % 12, 2, 10, QChar('0')));
        act.addBindValue(QVariant());
        if (!act.exec())
            return false;
        tariff.addBindValue(code);
        tariff.addBindValue(int(i % 3));
        tariff.addBindValue(double((i * 37) % 20000) / 100.0);
        tariff.addBindValue(1.0 + double(i % 5) / 10.0);
        if (!tariff.exec())
            return false;
    }
    q.prepare("INSERT INTO MODIFICATEUR VALUES (?, ?, ?)");
    for (int i = 0; i < 40; ++i) {
        q.addBindValue(QString("M%1").arg(i));
        q.addBindValue(QString::fromUtf8("Majoration %1").arg(i));
        q.addBindValue(double(i) / 4.0);
        if (!q.exec())
            return false;
    }
    return db.commit();
}

} // namespace

const char *const kUsage =
    "usage: make-sample-db OUTPUT.db [SIZE_MB]\n"
    "Writes a sample medical-act database of about SIZE_MB megabytes (3 by default,\n"
    "at most 1024) to OUTPUT.db, which must not exist yet.\n";

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    for (int i = 1; i < argc; ++i) {
        const QByteArray word(argv[i]);
        if (word == "--help" || word == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (word.startsWith('-') && word.size() > 1) {
            std::fprintf(stderr, "make-sample-db: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (argc < 2 || argc > 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const double megabytes = argc == 3 ? std::atof(argv[2]) : 3.0;
    if (megabytes <= 0 || megabytes > 1024) {
        std::fprintf(stderr, "make-sample-db: SIZE_MB must be above 0 and at most 1024\n");
        return 2;
    }
    if (QFileInfo::exists(path)) {
        std::fprintf(stderr, "make-sample-db: %s already exists\n", argv[1]);
        return 1;
    }
    bool ok;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "sample");
        db.setDatabaseName(path);
        ok = db.open() && fill(db, long(megabytes * 1024 * 1024));
        if (!ok)
            std::fprintf(stderr, "make-sample-db: %s\n", qPrintable(db.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase("sample");
    if (!ok) {
        QFile::remove(path);
        return 1;
    }
    std::printf("%s: %lld bytes\n", argv[1], QFileInfo(path).size());
    return 0;
}
