#pragma once
// An INI file of the cell or sample details, read and written by section and key.
//
// Files come from the Windows lab PCs as often as from this program: CR LF line ends, UTF-16 with
// its byte-order mark (Notepad's "Unicode", either byte order), a UTF-8 byte-order mark or none,
// texts in UTF-8 or in the 8-bit Windows code page (cp1252: µ, º), and numbers with the decimal
// separator of whatever regional settings wrote them. Reading copes with all of these; writing uses
// UTF-8 and the regional decimal separator of this machine. Keys of other sections and other keys
// already in the file stay when it is saved again.
#include <QString>
#include <SimpleIni.h>
#include <initializer_list>

class TDetailsIni {
public:
    TDetailsIni();

    // Files larger than this are refused unread: no details file comes near it.
    static constexpr qint64 MaxBytes = 1 << 20;

    // Reads the file; false when it does not exist, cannot be read or is not text (the contents
    // stay empty).
    bool Load(const QString& path);
    // Whether the file of the last Load did not exist.
    bool Missing() const { return fMissing; }
    // Why the file of the last Load is not an INI file holding a key in one of `sections`, for the
    // operator ("it is not a text file"); empty when it is one or when it did not exist.
    QString Refusal(std::initializer_list<const char*> sections) const;
    // Writes the whole file in one go, so a failed write keeps the previous file; false on failure,
    // with the system's reason in `error` when given.
    bool Save(const QString& path, QString* error = nullptr) const;

    // A missing key gives the fallback; an empty text is a text like any other.
    QString Text(const char* section, const char* key, const QString& fallback) const;
    // A key that is missing, empty or not a number gives the fallback. Both a point and a comma are
    // taken as the decimal separator, whatever the regional settings are: these files hold no
    // digit grouping, so either can only be a decimal separator.
    double Float(const char* section, const char* key, double fallback) const;
    // Decimal integers only; anything else gives the fallback.
    int Integer(const char* section, const char* key, int fallback) const;
    // Any non-zero integer is true.
    bool Boolean(const char* section, const char* key, bool fallback) const;

    void SetText(const char* section, const char* key, const QString& value);
    void SetFloat(const char* section, const char* key, double value);
    void SetInteger(const char* section, const char* key, int value);
    void SetBoolean(const char* section, const char* key, bool value);

    // The text of raw bytes from a file: UTF-8 when they are valid UTF-8, else the Windows code page.
    static QString DecodeText(const QByteArray& bytes);

private:
    CSimpleIniA fIni;
    bool fMissing = false;
    QString fProblem; // why the last Load failed, for a file that exists
};
