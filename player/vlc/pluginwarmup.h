#pragma once

namespace lyrevane {

// Loads, on a thread of its own, the libVLC plugins that a stream's first bytes will need
// (vlcquirks::streamPluginFiles()), so that libVLC finds them loaded when the bytes come
// instead of loading them then. Once per process: nothing is ever unloaded, by libVLC or here.
void warmStreamPlugins();

}  // namespace lyrevane
