#include "platform/errors.h"

#include <utility>

EPondrelError::EPondrelError(QString message)
    : FMessage(std::move(message)), FUtf8(FMessage.toUtf8())
{
}
