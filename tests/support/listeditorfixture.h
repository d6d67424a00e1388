#pragma once

#include <gtest/gtest.h>

#include "../support/fakes.h"
#include "core/listeditor.h"

namespace lyrevane::testing {

// What the tests of a list editor share: the store its entries live in, the prompts and
// the fake widgets. A fixture adds its entries and the model over them.
class ListEditorFixture : public ::testing::Test {
protected:
    // Loads `model` and asks the empty-list question, as the shown dialog does.
    static void openModel(ListEditorModel& model) {
        if (model.load()) {
            model.offerFirstEntry();
        }
    }

    MemorySettings store;
    FakePrompts prompts;
    FakeEditorView view;
};

}  // namespace lyrevane::testing
