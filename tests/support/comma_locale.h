// Puts the process into a comma-decimal locale (German) for the lifetime of
// the object: the C library's locale (setlocale) and Qt's default locale.
// Both are restored afterwards. scripts/setup.sh generates de_DE.UTF-8.
#pragma once

#include <QLocale>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

class comma_locale {
public:
    comma_locale() : saved_qt_(QLocale()) {
        const char* current = std::setlocale(LC_ALL, nullptr);
        saved_c_ = current != nullptr ? current : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE"})
            if (std::setlocale(LC_ALL, name) != nullptr) break;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    ~comma_locale() {
        std::setlocale(LC_ALL, saved_c_.c_str());
        QLocale::setDefault(saved_qt_);
    }
    comma_locale(const comma_locale&) = delete;
    comma_locale& operator=(const comma_locale&) = delete;

    // True when the C library now writes a decimal comma.
    bool active() const {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%g", 0.5);
        return std::strcmp(buf, "0,5") == 0;
    }

    static const char* missing() { return "the de_DE.UTF-8 locale is not generated on this machine (scripts/setup.sh makes it)"; }

private:
    std::string saved_c_;
    QLocale saved_qt_;
};
