#!/bin/sh
# Starts the example application with the Java runtime installed beside it,
# or with the java on PATH when the installation has none.
set -eu
home=$(cd "$(dirname "$0")/.." && pwd)
java="$home/runtime/bin/java"
[ -x "$java" ] || java=java
exec "$java" -cp "$home/lib/hello.jar" example.hello.Hello "$@"
