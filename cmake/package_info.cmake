# Who makes Orvanta and where it lives: the one place the package's maintainer, the copyright
# holder, the homepage and the licence are named. The package, its copyright file and its
# changelog all read them from here.
set(ORVANTA_VENDOR "Brindlemoor Software")
set(ORVANTA_MAINTAINER "Brindlemoor Software <orvanta@brindlemoor.com>")
set(ORVANTA_HOMEPAGE "https://www.brindlemoor.com/orvanta/")
set(ORVANTA_COPYRIGHT_YEARS "2026")
set(ORVANTA_LICENSE "Expat") # the MIT licence, by its Debian name
# The picture-box library's interface version: raised when a program built against it would no
# longer run with the new library.
set(VANTLER_SOVERSION 0)
# The date of the release the package's changelog describes.
set(ORVANTA_RELEASE_DATE "Mon, 07 Dec 2026 12:00:00 +0000")
