"""Application directories as Java builds lay them out: Maven's (built here,
offline, from Debian's repository in /usr/share/maven-repo) and Gradle's
installDist (laid out file by file as Gradle 8 writes it: Debian's Gradle
is too old to write what users have). Each holds lib/hello.jar, whose
demo.Main prints the system property greeting capitalised by Apache
Commons Lang, and that library's jar."""

import os
import re
import shutil
import subprocess

import harness

NAME = "hello"
MAIN_CLASS = "demo.Main"
# Debian's Commons Lang, in its repository as Maven Central names it.
LANG3_VERSION = "3.12.0"
LANG3_JAR = "/usr/share/java/commons-lang3.jar"
DEBIAN_REPOSITORY = "/usr/share/maven-repo"
GRADLE_TEMPLATES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support", "gradle")
MAIN_SOURCE = """package demo;

import org.apache.commons.lang3.StringUtils;

public class Main {
    public static void main(String[] args) {
        System.out.println(StringUtils.capitalize(System.getProperty("greeting", "no greeting")));
    }
}
"""
# The plugins' versions are those Debian packages (and Maven Central has):
# the build is the same offline here and online elsewhere. The jar and the
# dependencies go to target/app/lib, the application directory mksetup
# takes; Surefire is left out, as this project has no tests (and Debian's
# Surefire alone would add 40 MB to the packages the tests install).
POM = """<?xml version="1.0" encoding="UTF-8"?>
<project xmlns="http://maven.apache.org/POM/4.0.0">
  <modelVersion>4.0.0</modelVersion>
  <groupId>demo</groupId>
  <artifactId>hello</artifactId>
  <version>1.0</version>
  <properties>
    <maven.compiler.release>8</maven.compiler.release>
    <project.build.sourceEncoding>UTF-8</project.build.sourceEncoding>
  </properties>
  <dependencies>
    <dependency>
      <groupId>org.apache.commons</groupId>
      <artifactId>commons-lang3</artifactId>
      <version>%(lang3)s</version>
    </dependency>
  </dependencies>
  <build>
    <finalName>hello</finalName>
    <plugins>
      <plugin>
        <artifactId>maven-compiler-plugin</artifactId>
        <version>3.10.1</version>
      </plugin>
      <plugin>
        <artifactId>maven-resources-plugin</artifactId>
        <version>3.3.0</version>
      </plugin>
      <plugin>
        <artifactId>maven-jar-plugin</artifactId>
        <version>3.3.0</version>
        <configuration>
          <outputDirectory>${project.build.directory}/app/lib</outputDirectory>
          <archive><manifest><mainClass>%(main)s</mainClass></manifest></archive>
        </configuration>
      </plugin>
      <plugin>
        <artifactId>maven-dependency-plugin</artifactId>
        <version>3.5.0</version>
        <configuration>
          <outputDirectory>${project.build.directory}/app/lib</outputDirectory>
          <includeScope>runtime</includeScope>
        </configuration>
      </plugin>
      <plugin>
        <artifactId>maven-surefire-plugin</artifactId>
        <executions><execution><id>default-test</id><phase>none</phase></execution></executions>
      </plugin>
    </plugins>
  </build>
</project>
""" % {"lang3": LANG3_VERSION, "main": MAIN_CLASS}


def _tool(home, name):
    """A tool of the JDK that runs on this machine."""
    return os.path.join(home, "bin", name)


def maven_app(d):
    """Builds the project d/pom.xml with Debian's Maven, offline, and returns
    the application directory it lays out: d/target/app with
    lib/hello.jar and lib/commons-lang3-3.12.0.jar."""
    with open(os.path.join(d, "pom.xml"), "w") as f:
        f.write(POM)
    os.makedirs(os.path.join(d, "src/main/java/demo"))
    with open(os.path.join(d, "src/main/java/demo/Main.java"), "w") as f:
        f.write(MAIN_SOURCE)
    # HOME apart, so that no settings of the developer's (~/.m2, ~/.mavenrc) count.
    env = {"PATH": harness.TOOLS_PATH, "JAVA_HOME": harness.JLINK_HOME, "HOME": os.path.join(d, "home")}
    r = subprocess.run(["mvn", "-B", "-q", "-o", "-Dstyle.color=never", "-Dmaven.repo.local=" + DEBIAN_REPOSITORY,
                        "package", "dependency:copy-dependencies"], cwd=d, env=env, capture_output=True, timeout=300)
    if r.returncode != 0:
        raise AssertionError("mvn failed: %r" % r)
    return harness.Path(os.path.join(d, "target/app"))


def _unix_jvm_opts(options):
    """DEFAULT_JVM_OPTS's value as Gradle's POSIX script carries it: each
    option double-quoted with its specials escaped, all in single quotes."""
    quoted = []
    for o in options:
        o = o.replace("\\", "\\\\").replace('"', '\\"').replace("'", "'\"'\"'").replace("`", "'\"`\"'")
        quoted.append('"%s"' % o.replace("$", "\\$"))
    return "'%s'" % " ".join(quoted)


def _start_script(template, values, newline):
    with open(os.path.join(GRADLE_TEMPLATES, template)) as f:
        text = f.read()
    text = re.sub(r"@([A-Z_]+)@", lambda m: values[m.group(1)], text)
    return text.replace("\n", newline).encode()


def gradle_install_dist(d, jvm_options=()):
    """Lays out d/build/install/hello as Gradle 8's installDist makes it of
    an application project named hello with the application plugin
    (mainClass demo.Main, applicationDefaultJvmArgs jvm_options, one
    dependency, Commons Lang 3.12.0), and returns it: lib/hello.jar, then
    the dependencies' jars in lib/, bin/hello (a POSIX sh script of mode
    0755) and bin/hello.bat (CRLF)."""
    classes = os.path.join(d, "build/classes/java/main")
    source = os.path.join(d, "src/main/java/demo/Main.java")
    os.makedirs(os.path.dirname(source))
    with open(source, "w") as f:
        f.write(MAIN_SOURCE)
    install = harness.Path(os.path.join(d, "build/install", NAME))
    os.makedirs(install / "lib")
    os.makedirs(install / "bin")
    subprocess.run([_tool(harness.JLINK_HOME, "javac"), "--release", "8", "-encoding", "UTF-8", "-cp", LANG3_JAR,
                    "-d", classes, source], check=True)
    # Gradle's jar has a manifest of its version only: installDist's
    # scripts name the main class themselves.
    manifest = os.path.join(d, "MANIFEST.MF")
    with open(manifest, "w") as f:
        f.write("Manifest-Version: 1.0\n")
    subprocess.run([_tool(harness.JLINK_HOME, "jar"), "cfm", install / "lib" / (NAME + ".jar"), manifest,
                    "-C", classes, "."], check=True)
    jars = [NAME + ".jar", "commons-lang3-%s.jar" % LANG3_VERSION]
    shutil.copyfile(LANG3_JAR, install / "lib" / jars[1])
    upper = re.sub("[^A-Z0-9]", "_", NAME.upper())
    values = {"APP_NAME": NAME, "MAIN_CLASS": MAIN_CLASS, "OPTS_VAR": upper + "_OPTS",
              "EXIT_VAR": upper + "_EXIT_CONSOLE"}
    unix = dict(values, CLASSPATH=":".join("$APP_HOME/lib/" + j for j in jars),
                DEFAULT_JVM_OPTS=_unix_jvm_opts(jvm_options))
    windows = dict(values, CLASSPATH=";".join("%APP_HOME%\\lib\\" + j for j in jars),
                   DEFAULT_JVM_OPTS=" ".join('"%s"' % o for o in jvm_options))
    with open(install / "bin" / NAME, "wb") as f:
        f.write(_start_script("unixStartScript.txt", unix, "\n"))
    os.chmod(install / "bin" / NAME, 0o755)
    with open(install / "bin" / (NAME + ".bat"), "wb") as f:
        f.write(_start_script("windowsStartScript.txt", windows, "\r\n"))
    return install
