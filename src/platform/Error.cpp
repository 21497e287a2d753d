#include "platform/Error.h"

#include <new>

using namespace Qt::StringLiterals;

namespace quaverly {

Error::Error(QString description)
    : m_description(std::move(description))
    , m_utf8(m_description.toUtf8())
{
}

QString failureSentence(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const Error &error) {
        return error.description();
    } catch (const std::bad_alloc &) {
        return u"There was not enough memory to finish."_s;
    } catch (const std::exception &error) {
        return u"An unexpected error occurred (%1)."_s.arg(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return u"An unexpected error occurred."_s;
    }
}

} // namespace quaverly
