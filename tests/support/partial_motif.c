/* A Motif library that lacks one of the toolkit's functions, as an older or
 * a partial Motif would: built as libXm.so.4 and found first through
 * LD_LIBRARY_PATH, it exports every name the launcher looks up but the last,
 * XtWindowOfObject. None of them is ever called: a launcher that can't
 * resolve them all must leave the library alone. */
#define STAND_IN(name) \
  void name(void) {}

STAND_IN(XCloseDisplay)
STAND_IN(XOpenDisplay)
STAND_IN(XRaiseWindow)
STAND_IN(XSetErrorHandler)
STAND_IN(XSetIOErrorHandler)
STAND_IN(XSetLocaleModifiers)
STAND_IN(XSupportsLocale)
STAND_IN(XmCreateErrorDialog)
STAND_IN(XmCreateInformationDialog)
STAND_IN(XmCreateTemplateDialog)
STAND_IN(XmMessageBoxGetChild)
STAND_IN(XmStringCreateLtoR)
STAND_IN(XmStringFree)
STAND_IN(XtAppNextEvent)
STAND_IN(XtAppPending)
STAND_IN(XtAppSetErrorHandler)
STAND_IN(XtAppSetWarningHandler)
STAND_IN(XtDestroyWidget)
STAND_IN(XtDispatchEvent)
STAND_IN(XtGetValues)
STAND_IN(XtIsManaged)
STAND_IN(XtManageChild)
STAND_IN(XtRealizeWidget)
STAND_IN(XtScreenOfObject)
STAND_IN(XtUnmanageChild)
STAND_IN(XtVaAppInitialize)
STAND_IN(XtVaSetValues)
