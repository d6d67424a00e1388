#pragma once

namespace lyrevane::drawingenvironment {

// The window draws without OpenGL: two small pages and a play bar need no GPU, and an OpenGL
// driver costs the player a third of its memory (without a GPU, Mesa's software renderer and
// its LLVM alone weigh about 65 MB). The browser panes then paint through Qt Quick's software
// scene graph, and the browser engine composes its pages in software; pages of one site share
// one renderer process (the portal's two panes are one site; a renderer weighs about 7 MB).
// Whoever sets Qt's own variables (QT_QUICK_BACKEND, QSG_RHI_BACKEND, QT_XCB_GL_INTEGRATION,
// the browser engine's --process-per-* switches) keeps their choice.
struct Choice {
    // The window draws with Qt Quick's software scene graph.
    bool software = false;
    // QT_XCB_GL_INTEGRATION was set here: once the application object has read it, it must be
    // taken out again, so that a mail program or browser the player starts does not inherit it.
    bool integrationSet = false;
};

// Sets what the toolkit and the browser engine read from the environment. Call before any
// other thread starts: it changes the environment, which other threads may be reading.
Choice prepare();

}  // namespace lyrevane::drawingenvironment
