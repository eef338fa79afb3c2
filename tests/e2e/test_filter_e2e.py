"""Support groups and the hold queue on the real binary.

Events enter through the Event.log drop file. Nothing is delivered yet, so what the filter
decides is read from what it writes itself: Hold_Queue.log, ReqAck.log, the group table dumps
of the "Filter Process" trace, and escalations that come back as new LogFiles_Event rows.
"""
import datetime
import os
import re
import time

ALL_DAY = 16777215
DAYS = ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")
# The last group of every test takes only the barrier events of settle(), which no other
# group matches and which are no "up" event for any of them.
BARRIER = "Barrier"
DUMP_HEADER = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \*{5} (.*) \*{5}$")
DUMP_FIELD = re.compile(r"^(?:Hq)?SuppGrp(\w+?)\((\d+)\)=(.*)$")


def add_group(varnel, name, **columns):
    """A group row that is enabled, on duty all week and matches every event unless told."""
    row = dict(Name=name, Enabled=1, Priority="5 - Normal", PrioritySearch="<=",
               NodeName="*", NodeNameSearch="=", Message="*", MessageSearch="=",
               RecvName1=f"{name}-oncall", RecvType1="PhoneMO", RecvName2="None",
               RecvName3="None", RecvName4="None", RecvName5="None",
               PriorityUp="5 - Normal", PrioritySearchUp="=")
    row.update({f"DutyTime{d}": ALL_DAY for d in DAYS})
    row.update(columns)
    cols = ", ".join(f'"{c}"' for c in row)
    with varnel.db() as con:
        con.execute(f"INSERT INTO SuppGrp_Perm ({cols}) VALUES ({', '.join('?' * len(row))})",
                    tuple(row.values()))


def service(varnel, groups, faketime=None, tick_ms=100):
    """A program directory with these groups (name, columns), filter tracing on, started."""
    varnel.init()
    varnel.set("Event_CheckInterval", CheckInterval=5)
    varnel.set("Settings_General", DebugMode="Filter Process")
    for name, columns in groups:
        add_group(varnel, name, **columns)
    add_group(varnel, BARRIER, NodeName="barrier", Priority="9 - Tick", PrioritySearch="=")
    varnel.start(tick_ms=tick_ms, faketime=faketime)


def stop_cleanly(varnel):
    """The filter ran without a run-time error, and the service stops normally."""
    assert varnel.log.texts(106) == []
    assert varnel.stop() == 0


def wait_until(what, check, timeout=20):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


def drop(varnel, *events):
    """Hands the events (time, priority, node, message) to the service as one Event.log."""
    path = varnel.path("Event.log")
    wait_until("the service to take the previous Event.log", lambda: not os.path.exists(path))
    with open(path + ".tmp", "w", encoding="utf-8") as f:
        f.write("".join("\t".join(e) + "\r\n" for e in events))
    os.rename(path + ".tmp", path)


def read_lines(varnel, name):
    try:
        with open(varnel.path(name), encoding="utf-8") as f:
            return f.read().splitlines()
    except FileNotFoundError:
        return []


def dumps(varnel, title):
    """Every group table dump with this title in the trace, oldest first, each as
    {entry number: {"Name": ..., "Mess": ..., "RecvName1": ..., ...}}."""
    out, current = [], None
    for line in read_lines(varnel, "Debug/Filter_Process.txt"):
        header = DUMP_HEADER.match(line)
        if header:
            current = {} if header.group(1) == title else None
            if current is not None:
                out.append(current)
            continue
        field = DUMP_FIELD.match(line)
        if field and current is not None:
            current.setdefault(int(field.group(2)), {})[field.group(1)] = field.group(3)
    return out


def group_dumps(varnel):
    """The support group dumps without the barrier group."""
    return [{k: e for k, e in d.items() if e.get("Name") != BARRIER}
            for d in dumps(varnel, "Support Groups")]


def settle(varnel):
    """Returns once every cycle that took an earlier drop has finished, and with it the hold
    queue run of that cycle: a barrier event has reached the group dump of a later cycle.
    Gives the index of that dump."""
    varnel.barriers = getattr(varnel, "barriers", 0) + 1
    drop(varnel, ("2026-03-02 07:00:00", "9 - Tick", "barrier", f"tick {varnel.barriers}"))

    def barrier_dump():
        seen = [i for i, d in enumerate(dumps(varnel, "Support Groups"))
                if any(e.get("Name") == BARRIER for e in d.values())]
        return len(seen) == varnel.barriers and seen[-1] + 1

    return wait_until("the barrier event", barrier_dump) - 1


def cycle(varnel, *events):
    """Drops the events and returns the support group dump of the cycle that took them."""
    drop(varnel, *events)
    barrier = settle(varnel)
    return group_dumps(varnel)[barrier - 1]


def hold_queue(varnel):
    return [line.split("\t") for line in read_lines(varnel, "Hold_Queue.log")]


def minutes_from_now(minutes, started, ended):
    """The time texts a service clock could give for now + minutes between started and ended."""
    lo = (started + datetime.timedelta(minutes=minutes)).replace(microsecond=0)
    hi = ended + datetime.timedelta(minutes=minutes, seconds=1)
    return lambda text: lo <= datetime.datetime.strptime(text, "%Y-%m-%d %H:%M:%S") <= hi


def receivers(*names_and_types):
    slots = list(names_and_types) + [("None", "")] * (5 - len(names_and_types))
    out = {}
    for i, (name, kind) in enumerate(slots, 1):
        out[f"RecvName{i}"], out[f"RecvType{i}"] = name, kind
    return out


def composed(when, priority, node, message):
    """The alarm text of an event (time, priority, node, message) with every part selected."""
    return f"{when[:10]}, {when[11:]}, {node}, {priority}, {message}"


def test_down_events_are_held_once_and_cleared_by_the_up_event_of_their_node(varnel):
    service(varnel, [("Core", dict(
        Priority="3 - Minor", Correlation=1, SkipDupEvent=1,
        CriteriaDupEvent="Whole String Equal", HoldTimer=60, MessageUp="Any String Valid",
        SendMessWhenUp=1))])
    down = "2026-03-02 08:00:00"

    started = datetime.datetime.now()
    sent = cycle(varnel, (down, "2 - Major", "router1", "Link down"),
                 (down, "2 - Major", "router2", "Link down"))
    held = hold_queue(varnel)
    expiry = minutes_from_now(60, started, datetime.datetime.now())
    assert [h[:1] + h[2:] for h in held] == [
        ["Core", down, "2 - Major", "router1", "Link down", "False"],
        ["Core", down, "2 - Major", "router2", "Link down", "False"],
    ]
    assert all(expiry(h[1]) for h in held), held
    assert sent == {}  # held, not sent: the group does not send the first down

    # The same down again is a duplicate of the held entry; another message or another
    # priority of the same node is not.
    again = "2026-03-02 08:05:00"
    sent = cycle(varnel, (again, "2 - Major", "router1", "Link down"),
                 (again, "2 - Major", "router1", "Power fail"),
                 (again, "1 - Critical", "router1", "Link down"))
    assert [h[2:6] for h in hold_queue(varnel)] == [
        [down, "2 - Major", "router1", "Link down"],
        [down, "2 - Major", "router2", "Link down"],
        [again, "2 - Major", "router1", "Power fail"],
        [again, "1 - Critical", "router1", "Link down"],
    ]
    assert sent == {}

    # An up of router1 with any message clears all three of its entries, and its text is sent
    # once for each; router2 stays held.
    up = ("2026-03-02 08:10:00", "5 - Normal", "router1", "Link up")
    assert cycle(varnel, up) == {}  # the up itself is no alarm of the group
    assert [h[2:6] for h in hold_queue(varnel)] == [[down, "2 - Major", "router2", "Link down"]]
    sent_by_queue = [d for d in dumps(varnel, "Support Groups - Hold Queue") if d]
    assert sent_by_queue == [{1: dict(Name="Core", Mess=">>".join([composed(*up)] * 3),
                                      **receivers(("Core-oncall", "PhoneMO")))}]
    stop_cleanly(varnel)


def test_expired_entries_escalate_as_new_events(varnel):
    # One minute of the service's clock passes in one second. The tick timer runs on that
    # clock too: 3 s ticks come every 50 ms.
    service(varnel, [
        ("Db", dict(NodeName="db*", Priority="3 - Minor", Correlation=1, HoldTimer=5,
                    EscalateWhenExp=1, NewPriority="1 - Critical", NewNodeName="escalator",
                    NewMessage="$M")),
        ("App", dict(NodeName="app*", Priority="3 - Minor", Correlation=1, HoldTimer=5,
                     EscalateWhenExp=1, NewPriority="2 - Major", NewNodeName="pager-gw",
                     NewMessage="Check $M by hand")),
        ("Oncall", dict(NodeName="escalator<OR>pager-gw")),
    ], faketime="+0 x60", tick_ms=3000)
    db_down = ("2026-03-02 08:00:00", "2 - Major", "db1", "Disk full")
    app_down = ("2026-03-02 08:00:01", "3 - Minor", "app7", "Queue stalled")
    drop(varnel, db_down, app_down)
    held = wait_until("both held entries",
                      lambda: len(hold_queue(varnel)) == 2 and hold_queue(varnel))
    assert [h[0] for h in held] == ["Db", "App"]
    expiry = max(h[1] for h in held)

    def escalations():
        return varnel.query("SELECT DateAndTime, Priority, NodeName, Message, EventSource "
                            "FROM LogFiles_Event WHERE NodeName IN ('escalator', 'pager-gw') "
                            "ORDER BY rowid")

    wait_until("both escalations", lambda: len(escalations()) >= 2, timeout=30)
    settle(varnel)
    rows = escalations()
    # Each held entry escalates once, not before its hold time has run out.
    assert [r[1:] for r in rows] == [
        ("1 - Critical", "escalator", composed(*db_down), "Log File"),
        ("2 - Major", "pager-gw", "Check $M by hand", "Log File"),
    ]
    assert all(r[0] > expiry for r in rows), (rows, expiry)
    assert hold_queue(varnel) == []
    # The escalations are filtered like any other event.
    sent = [d for d in group_dumps(varnel) if d]
    assert sent == [{3: dict(Name="Oncall",
                             Mess=">>".join([composed(rows[0][0], "1 - Critical", "escalator",
                                                      composed(*db_down)),
                                             composed(rows[1][0], "2 - Major", "pager-gw",
                                                      "Check $M by hand")]),
                             **receivers(("Oncall-oncall", "PhoneMO")))}]
    stop_cleanly(varnel)


def test_only_matching_events_reach_the_group_text(varnel):
    web = dict(Priority="3 - Minor", NodeName="db*<AND>mail*", NodeNameSearch="!=",
               Message="*FAIL*<or>*DOWN*", RecvName2="Bob", RecvType2="MailSMTP")
    service(varnel, [
        ("Retired", dict(Enabled=0)),
        ("Night", {f"DutyTime{d}": 0 for d in DAYS}),
        ("Strict", dict(web, CaseSensitive=1)),
        ("Web", web),
        ("Critical", dict(Priority="1 - Critical", PrioritySearch="=")),
    ])
    matching = [("2026-03-02 08:00:00", "2 - Major", "web1", "Link down"),
                ("2026-03-02 08:00:01", "3 - Minor", "web2", "Service failed")]
    others = [("2026-03-02 08:00:02", "2 - Major", "dbserver", "Link down"),
              ("2026-03-02 08:00:03", "2 - Major", "mailhost", "Link down"),
              ("2026-03-02 08:00:04", "4 - Warning", "web3", "Link down"),
              ("2026-03-02 08:00:05", "2 - Major", "web4", "Temperature high")]
    sent = cycle(varnel, matching[0], *others, matching[1])
    # Entries count only the groups that are enabled and on duty: Strict, Web, Critical.
    assert sent == {2: dict(Name="Web", Mess=">>".join(composed(*e) for e in matching),
                            **receivers(("Web-oncall", "PhoneMO"), ("Bob", "MailSMTP")))}

    # The message format is read on every run.
    varnel.set("Event_CheckInterval", SendDate=0, SendPriority=0, SendNodeNameMaxChar=3,
               SendMessageMaxChar=4)
    sent = cycle(varnel, ("2026-03-02 08:01:00", "2 - Major", "web1", "Link down"))
    assert sent[2]["Mess"] == "08:01:00, web, Link"
    stop_cleanly(varnel)


def test_acknowledgement_requests_number_the_alarms_of_both_tables(varnel):
    service(varnel, [
        ("Retired", dict(Enabled=0)),
        ("Ack", dict(Priority="3 - Minor", NodeName="srv*", ReqAck=1, ReqAckWait=15,
                     ReqAckMaxRem=3)),
        ("Power", dict(Priority="3 - Minor", NodeName="ups*", Correlation=1, HoldTimer=60,
                       SendMessFirstDown=1, MessageUp="Any String Valid", SendMessWhenUp=1,
                       ReqAck=1, ReqAckWait=5, ReqAckMaxRem=0)),
    ])
    fan = ("2026-03-02 08:00:00", "2 - Major", "srv1", "Fan failure")
    battery = ("2026-03-02 08:00:00", "2 - Major", "ups1", "On battery")
    started = datetime.datetime.now()
    sent = cycle(varnel, fan, battery)
    due = [minutes_from_now(m, started, datetime.datetime.now()) for m in (15, 5)]
    assert {k: v["Mess"] for k, v in sent.items()} == {
        1: "<ID=901> " + composed(*fan), 2: "<ID=902> " + composed(*battery)}
    requests = [line.split("\t") for line in read_lines(varnel, "ReqAck.log")]
    assert [r[:2] + r[3:] for r in requests] == [
        ["Ack", "901", "3", "<ID=901> " + composed(*fan)],
        ["Power", "902", "0", "<ID=902> " + composed(*battery)],
    ]
    assert due[0](requests[0][2]) and due[1](requests[1][2]), requests

    # The up sent by the hold queue takes the next number; the queue counts every row.
    mains = ("2026-03-02 08:02:00", "5 - Normal", "ups1", "On mains")
    cycle(varnel, mains)
    sent_by_queue = [d for d in dumps(varnel, "Support Groups - Hold Queue") if d]
    assert [{k: v["Mess"] for k, v in d.items()} for d in sent_by_queue] == [
        {3: "<ID=903> " + composed(*mains)}]
    requests = [line.split("\t") for line in read_lines(varnel, "ReqAck.log")]
    assert [r[:2] + r[3:] for r in requests[2:]] == [
        ["Power", "903", "0", "<ID=903> " + composed(*mains)]]
    assert hold_queue(varnel) == []
    stop_cleanly(varnel)
