#!/bin/sh
# A program the maker publishes: the launcher marks it executable when it
# arrives and starts it, in the launcher's working directory, on a click.
message="Hello from the Kestrune demo, started in $(pwd) at $(date '+%H:%M:%S')"
echo "$message"
echo "$message" >> hello.log
