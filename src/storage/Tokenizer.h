#pragma once

#include <QString>

// Cuts a text into comma-terminated fields. A field is delivered only when a "," follows it;
// once no separator is left, every request answers "".
class Tokenizer {
public:
    explicit Tokenizer(QString text);

    QString nextToken();
    // Whether text is left after the fields delivered so far.
    bool hasRest() const { return index1 < strg.size(); }

private:
    const QString strg;
    qsizetype index1 = 0; // start of the next field
};
