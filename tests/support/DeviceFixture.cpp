#include "support/DeviceFixture.h"

#include "link/ModelCatalogue.h"

DeviceFixture::DeviceFixture(const QString &model) : server(model), m_model(model) {}

DeviceFixture::~DeviceFixture()
{
    serial.close();
    server.stop();
}

bool DeviceFixture::connect()
{
    if (!server.start(&m_error))
        return false;
    serial.setPortName(server.portPath());
    const int result = serial.open();
    if (result != 0) {
        m_error = QStringLiteral("open(%1) returned %2").arg(server.portPath()).arg(result);
        return false;
    }
    serial.setPrompt(getModelPrefix(m_model));
    return true;
}
