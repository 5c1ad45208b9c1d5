#include "pages/BaseWidget.h"

BaseWidget::BaseWidget(QWidget *parent) : QWidget(nullptr)
{
    Q_UNUSED(parent);
}

// The fields outlive the page's own part by a moment.
BaseWidget::~BaseWidget()
{
    releaseBindings();
}

void BaseWidget::releaseBindings()
{
    for (const QPointer<FieldBinding> &binding : qAsConst(m_bindings))
        delete binding.data();
    m_bindings.clear();
}

void BaseWidget::setDebug(Debug *debug)
{
    this->debug = debug;
}

void BaseWidget::setSerial(Serial *serial)
{
    this->serial = serial;
}

// The wait animation moves on after every second field read.
void BaseWidget::refresh()
{
    for (int i = 0; i < m_bindings.size(); ++i) {
        if (m_bindings.at(i))
            m_bindings.at(i)->show();
        if (i % 2 == 1)
            emit iconUpdateSignal();
    }
}

FieldBinding *BaseWidget::bind(QWidget *field, const QString &key,
                               const FieldBinding::Captions &captions)
{
    auto *binding = new FieldBinding(this, field, key, captions);
    m_bindings.append(binding);
    return binding;
}

void BaseWidget::setFamily(Family family)
{
    m_family = family;
}

const settings::Setting *BaseWidget::setting(const QString &key) const
{
    if (const settings::Setting *own = settings::find(m_family, key))
        return own;
    // A page may read a setting that its family's files leave out: the receiver cards answer
    // for the wireless input mode although their page hides the field.
    for (Family other : catalogue::families()) {
        if (const settings::Setting *found = settings::find(other, key))
            return found;
    }
    return nullptr;
}

settings::Reading BaseWidget::readSetting(const QString &key) const
{
    Serial *link = channel();
    const settings::Setting *row = setting(key);
    if (!link || !row)
        return settings::Reading();
    return settings::read(*link, *row);
}

bool BaseWidget::sendUserText(const QString &key, const QString &argument) const
{
    Serial *link = channel();
    const settings::Setting *row = setting(key);
    return link && row && settings::sendUserText(*link, *row, argument);
}
