// The unit tests read sub-templates with the filters' reference records in
// them; the library registers the record kinds when a main-template entry is
// made, the test program once before any test runs.
#include <gtest/gtest.h>

#include "filters/FilterFactory.h"

namespace {

class RegisterFilterRecordsEnvironment : public ::testing::Environment {
public:
    void SetUp() override { libMorvaneClassifier::RegisterFilterRecords(); }
};

const ::testing::Environment* const kRegistered =
    ::testing::AddGlobalTestEnvironment(new RegisterFilterRecordsEnvironment);

}  // namespace
