#!/usr/bin/env bash
# The integrator's guide, language by language: the C, Python, C# (mono), Delphi (Free Pascal),
# Java (JNA) and Node.js (koffi) code it prints, run against the built library and the simulators.
# Installs the toolchains it lacks; one that cannot be installed fails the stage, by name.
set -euo pipefail
cd "$(dirname "$0")/../.."

source scripts/lib/packages.sh
needed=(gcc python3 libc-bin mono-mcs mono-runtime libmono-i18n-cjk4.0-cil fpc libjna-java)
# A JDK and Node.js from elsewhere (a vendor's build, nodesource) serve as well as Debian's.
command -v javac >/dev/null || needed+=(default-jdk-headless)
command -v node >/dev/null || needed+=(nodejs)
command -v npm >/dev/null || needed+=(npm)
install_missing "${needed[@]}" || echo "could not install all of: ${needed[*]}" >&2

tests/recipes_check.sh build .
