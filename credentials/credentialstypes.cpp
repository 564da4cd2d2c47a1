// SPDX-License-Identifier: MIT
#include "credentialstypes.h"

#include <QtQml>

#include "passwordstore.h"

void registerCredentialsTypes()
{
    qmlRegisterUncreatableType<PasswordStore>("Native", 1, 0, "PasswordStore",
                                              QStringLiteral("The application keeps the one password store"));
}
