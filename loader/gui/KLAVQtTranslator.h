#pragma once
// Qt's own texts (the file dialog's labels, the standard buttons of message
// boxes) in the language of a locale, so that they speak the same language as
// the window. The translation is Qt's "qtbase_<language>.qm": first from the
// folder "translations" beside the program, where a Windows deployment puts
// it, else from Qt's installed translations folder. Installed while the
// object lives.

#include <QLocale>
#include <QString>
#include <QTranslator>

class KLAVQtTranslator {
public:
    KLAVQtTranslator() = default;
    ~KLAVQtTranslator();
    KLAVQtTranslator(const KLAVQtTranslator &) = delete;
    KLAVQtTranslator &operator=(const KLAVQtTranslator &) = delete;

    // Loads and installs Qt's translation for locale; false when there is
    // none (Qt's texts then stay English).
    bool install(const QLocale &locale);
    // The file installed; empty when none.
    QString fileName() const;

private:
    QTranslator translator;
    bool installed = false;
};
