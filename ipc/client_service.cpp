// SPDX-License-Identifier: MIT
#include "client_service.h"

#include <QMetaType>
#include <QtDebug>

namespace {

void warnInvalidPage(qlonglong value)
{
    qWarning() << "QtRO received an invalid enum value for typeClientPage, value =" << value;
}

// Remote Objects carries an enumeration argument as a plain integer and converts it back to the
// slot's type without checking the range. Unknown values become RECORDER here, before they are
// ever held in the enumeration.
client_ServiceSource::ClientPage pageFromWire(int value)
{
    if (value >= client_ServiceSource::RECORDER && value <= client_ServiceSource::SETTINGS)
        return static_cast<client_ServiceSource::ClientPage>(value);
    warnInvalidPage(value);
    return client_ServiceSource::RECORDER;
}

void registerPageConversion()
{
    static const bool registered = QMetaType::registerConverter<int, client_ServiceSource::ClientPage>(&pageFromWire);
    Q_UNUSED(registered)
}

} // namespace

client_Service::client_Service(QObject* parent) : client_ServiceSource(parent)
{
    registerPageConversion();
}

void client_Service::setLoggedIn(bool state)
{
    m_loggedIn = state;
    emit loggedIn(m_loggedIn);
}

void client_Service::publishLoggedOut()
{
    // loggedIn(false) keeps replicas that only follow the state right; loggedOut is the event.
    setLoggedIn(false);
    emit loggedOut();
}

void client_Service::setLayouts(const QList<client_Layout>& layouts)
{
    if (!m_layouts.isSharedWith(layouts))
        m_layouts = layouts;
    emit layoutListChanged(m_layouts);
}

void client_Service::requestLoginStatus()
{
    emit loggedIn(m_loggedIn);
}

void client_Service::jumpPage(client_ServiceSource::ClientPage page)
{
    // A caller on this side may still pass a value that no key names.
    const int value = static_cast<int>(page);
    if (value < RECORDER || value > SETTINGS) {
        warnInvalidPage(value);
        page = RECORDER;
    }
    emit jumpPageRequested(page);
}

void client_Service::setLayout(QString name, QString json)
{
    emit setLayoutRequested(name, json);
}

void client_Service::requestLayoutList()
{
    emit layoutListChanged(m_layouts);
}
