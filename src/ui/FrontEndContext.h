#pragma once
// A front end's context: one update run's world, the front-end object that
// drives it and the controls of the windows that show it. The front end is
// chosen once, as the context is made; the run reports to it, and the
// windows hand their controls to `presenter`.

#include <memory>

#include "bootloader/RunContext.h"
#include "ui/FrontEnds.h"
#include "ui/Views.h"

namespace torvane {

struct FrontEndContext : RunContext {
    explicit FrontEndContext(FrontEnd kind = FrontEnd::MainWindow) : front_(MakeFrontEnd(kind, *this)) {
        view = front_.get();
    }

    Presenter presenter;
    UpdateFrontEnd& front() { return *front_; }
    const UpdateFrontEnd& front() const { return *front_; }

private:
    std::unique_ptr<UpdateFrontEnd> front_;
};

}  // namespace torvane
