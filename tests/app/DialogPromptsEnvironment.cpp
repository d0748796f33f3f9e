// The program installs its dialogs as the documents' prompts when it starts; the tests of its
// commands and windows open documents without starting the program, so they install them here.

#include "app/DialogPrompts.h"

#include <gtest/gtest.h>

namespace {

class DialogPromptsEnvironment : public ::testing::Environment {
public:
    void SetUp() override { plyfold::InstallDialogPrompts(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new DialogPromptsEnvironment);

} // namespace
