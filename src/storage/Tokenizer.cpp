#include "storage/Tokenizer.h"

Tokenizer::Tokenizer(QString text) : strg(std::move(text)) {}

QString Tokenizer::nextToken() {
    const qsizetype index2 = strg.indexOf(u',', index1);
    if (index2 < 0)
        return QString();
    QString field = strg.mid(index1, index2 - index1);
    index1 = index2 + 1;
    return field;
}
