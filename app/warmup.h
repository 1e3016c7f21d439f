#pragma once

#include <thread>

namespace Nod::App {

// Prepares, on a thread of its own, shared state the interface thread would otherwise build on its
// way to the first page, while that thread loads the platform, the storage and the window. Each
// piece is one its library sets up once per process under its own lock, from any thread: when the
// interface thread asks first, it builds the piece itself and the warm-up finds it made.
class WarmUp
{
public:
    enum Piece {
        // Before the application object: the libraries of the plug-ins a start on X11 loads
        // (platform, database driver, icon engine), and the font configuration (its files parsed,
        // its caches mapped), which the first widget's font otherwise loads.
        Libraries,
        // Once the application object exists: the session bus connection the X11 platform's
        // accessibility bridge opens when the first widget is named.
        SessionBus,
    };

    explicit WarmUp(Piece piece);
    WarmUp(const WarmUp &) = delete;
    WarmUp &operator=(const WarmUp &) = delete;
    // Waits for the piece: nothing may still run when what it works on is torn down.
    ~WarmUp();

private:
    std::thread m_thread;
};

} // namespace Nod::App
