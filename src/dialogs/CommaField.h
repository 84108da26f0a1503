#pragma once

#include "dialogs/CommaRule.h"

class QLineEdit;
class QWidget;

// A field that refuses commas: the first comma of a change is removed at once and the alert
// with the field's message is raised, and so on for every further comma, so a pasted text
// loses them all, one alert each.
void checkComma(QLineEdit& field, QWidget* alertOwner, const QString& message);

void refuseCommas(QLineEdit& field, QWidget* alertOwner, const QString& message);
