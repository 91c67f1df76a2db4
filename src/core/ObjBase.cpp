#include "core/ObjBase.h"

namespace libMorvaneClassifier {

CObjBase::~CObjBase() = default;
void CObjBase::ListParameters(ParameterList&) {}

}  // namespace libMorvaneClassifier
