// The x11 driver's events: what the calling thread's connection has received, translated into
// the layer's terms (screen coordinates, MK_ flags, window-relative exposures).
#include "drivers/x11/x11_driver.h"

namespace winlayer::x11 {

namespace {

// X buttons 1-3 are left, middle and right; the wheel (4, 5) and others are not reported.
bool ButtonMessage(unsigned int button, bool press, UINT* message, UINT* flag) {
    switch (button) {
        case Button1:
            *message = press ? WM_LBUTTONDOWN : WM_LBUTTONUP;
            *flag = MK_LBUTTON;
            return true;
        case Button2:
            *message = press ? WM_MBUTTONDOWN : WM_MBUTTONUP;
            *flag = MK_MBUTTON;
            return true;
        case Button3:
            *message = press ? WM_RBUTTONDOWN : WM_RBUTTONUP;
            *flag = MK_RBUTTON;
            return true;
        default:
            return false;
    }
}

}  // namespace

void X11Driver::ProcessEvents(EventSink& sink) {
    Connection* c = ThreadConnection(false);
    if (!c)
        return;
    // XPending reads what the socket holds without blocking; a sink call may come back into the
    // driver (Present, SetRect, DestroyTopLevel), so each event looks its window up afresh.
    while (!c->lost && XPending(c->dpy) > 0) {
        XEvent e;
        XNextEvent(c->dpy, &e);
        HandleEvent(*c, e, sink);
    }
    if (c->lost && !c->lostReported) {
        c->lostReported = true;
        sink.DisplayLost();
    }
}

void X11Driver::HandleEvent(Connection& c, XEvent& e, EventSink& sink) {
    HWND hwnd = c.Find(e.xany.window);
    if (!hwnd)
        return;
    POINT o = Origin();
    switch (e.type) {
        case Expose: {
            RECT area{e.xexpose.x, e.xexpose.y, e.xexpose.x + e.xexpose.width,
                      e.xexpose.y + e.xexpose.height};
            sink.Exposed(hwnd, area);
            break;
        }
        case MotionNotify: {
            // Only the newest of a run of motions matters; nothing is reordered past a button.
            XEvent next;
            while (XEventsQueued(c.dpy, QueuedAlready) > 0) {
                XPeekEvent(c.dpy, &next);
                if (next.type != MotionNotify || next.xmotion.window != e.xmotion.window)
                    break;
                XNextEvent(c.dpy, &e);
            }
            POINT p{e.xmotion.x_root - o.x, e.xmotion.y_root - o.y};
            sink.PointerMoved(hwnd, p, KeysFromState(e.xmotion.state));
            break;
        }
        case ButtonPress:
        case ButtonRelease: {
            UINT message = 0, flag = 0;
            bool press = e.type == ButtonPress;
            if (!ButtonMessage(e.xbutton.button, press, &message, &flag))
                break;
            // X gives the state before the event; Windows' flags are those after it.
            UINT keys = KeysFromState(e.xbutton.state);
            keys = press ? keys | flag : keys & ~flag;
            POINT p{e.xbutton.x_root - o.x, e.xbutton.y_root - o.y};
            sink.ButtonChanged(hwnd, message, p, keys);
            break;
        }
        case EnterNotify: {
            POINT p{e.xcrossing.x_root - o.x, e.xcrossing.y_root - o.y};
            sink.PointerMoved(hwnd, p, KeysFromState(e.xcrossing.state));
            break;
        }
        case LeaveNotify:
            if (e.xcrossing.detail != NotifyInferior)
                sink.PointerLeft(hwnd);
            break;
        case ConfigureNotify: {
            TopLevel* t = c.Find(hwnd);
            // Sent before our last move reached the server: the layer already has a newer place.
            if (!t || (!e.xconfigure.send_event && e.xconfigure.serial < t->moveSerial))
                break;
            // A window manager's frame makes x, y relative to the frame: ask for root coordinates.
            int x = e.xconfigure.x, y = e.xconfigure.y;
            if (!e.xconfigure.send_event) {
                ::Window child;
                XTranslateCoordinates(c.dpy, t->xid, DefaultRootWindow(c.dpy), 0, 0, &x, &y,
                                      &child);
            }
            RECT rect{x - o.x, y - o.y, x - o.x + e.xconfigure.width,
                      y - o.y + e.xconfigure.height};
            if (rect.left == t->rect.left && rect.top == t->rect.top &&
                rect.right == t->rect.right && rect.bottom == t->rect.bottom) {
                break;
            }
            t->rect = rect;
            sink.Moved(hwnd, rect);
            break;
        }
        case ClientMessage:
            if (e.xclient.message_type == c.atoms[kWmProtocols] && e.xclient.format == 32 &&
                static_cast<Atom>(e.xclient.data.l[0]) == c.atoms[kWmDeleteWindow]) {
                sink.CloseRequested(hwnd);
            }
            break;
        default:
            break;  // mapping, ...
    }
}

}  // namespace winlayer::x11
