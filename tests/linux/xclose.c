/* Closes a window as its title bar's close button does: the
   WM_DELETE_WINDOW message, which any X client may send (there is no
   window manager on the tests' display to bind Alt+F4).
   usage: xclose WINDOW-ID */
#include <X11/Xlib.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    Display *dpy = XOpenDisplay(NULL);
    XEvent   ev = { 0 };

    if (argc != 2 || !dpy)
        return 2;
    ev.xclient.type = ClientMessage;
    ev.xclient.window = (Window)strtoul(argv[1], NULL, 0);
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, ev.xclient.window, False, NoEventMask, &ev);
    XCloseDisplay(dpy);
    return 0;
}
