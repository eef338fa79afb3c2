"""Support groups and the hold queue, read from Hold_Queue.log and the "Filter Process" dumps."""
import re

from conftest import DUTY, receivers, wait_until

# The last group takes only the barrier events of cycle(), which no other group matches.
BARRIER = "Barrier"
DUMP_HEADER = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \*{5} (.*) \*{5}$")
DUMP_FIELD = re.compile(r"^(?:Hq)?SuppGrp(\w+?)\((\d+)\)=(.*)$")


def service(varnel, groups):
    varnel.init().set("Settings_General", DebugMode="Filter Process")
    for name, columns in groups + [(BARRIER, dict(NodeName="barrier", Priority="9 - Tick",
                                                  PrioritySearch="="))]:
        varnel.add_group(name, (f"{name}-oncall", "PhoneMO"), PriorityUp="5 - Normal",
                         PrioritySearchUp="=", **columns)
    varnel.start()


def dumps(varnel, title):
    """The group table dumps with this title, each {entry number: {field: value}}."""
    out, current = [], None
    for line in varnel.read("Debug/Filter_Process.txt").splitlines():
        header = DUMP_HEADER.match(line)
        if header:
            current = {} if header.group(1) == title else None
            if current is not None:
                out.append(current)
        elif (field := DUMP_FIELD.match(line)) and current is not None:
            current.setdefault(int(field.group(2)), {})[field.group(1)] = field.group(3)
    return out


def cycle(varnel, *events):
    """Drops the events, then a barrier that waits out the hold queue run of their cycle,
    and gives the support group dump of that cycle."""
    varnel.drop(*("\t".join(e) for e in events))
    varnel.barriers = getattr(varnel, "barriers", 0) + 1
    varnel.drop(f"2026-03-02 07:00:00\t9 - Tick\tbarrier\ttick {varnel.barriers}")

    def barrier_dump():
        seen = [i for i, d in enumerate(dumps(varnel, "Support Groups"))
                if any(e.get("Name") == BARRIER for e in d.values())]
        return len(seen) == varnel.barriers and seen[-1] + 1

    barrier = wait_until(barrier_dump, what="the barrier event") - 1
    taken = dumps(varnel, "Support Groups")[barrier - 1]
    return {k: e for k, e in taken.items() if e.get("Name") != BARRIER}


def hold_queue(varnel):
    return [line.split("\t") for line in varnel.read("Hold_Queue.log").splitlines()]


def composed(when, priority, node, message):
    return f"{when[:10]}, {when[11:]}, {node}, {priority}, {message}"


def test_down_events_are_held_once_and_cleared_by_the_up_event_of_their_node(varnel):
    service(varnel, [("Core", dict(
        Priority="3 - Minor", Correlation=1, SkipDupEvent=1,
        CriteriaDupEvent="Whole String Equal", HoldTimer=60, MessageUp="Any String Valid",
        SendMessWhenUp=1))])
    down = "2026-03-02 08:00:00"
    sent = cycle(varnel, (down, "2 - Major", "router1", "Link down"),
                 (down, "2 - Major", "router2", "Link down"))
    assert [h[:1] + h[2:] for h in hold_queue(varnel)] == [
        ["Core", down, "2 - Major", "router1", "Link down", "False"],
        ["Core", down, "2 - Major", "router2", "Link down", "False"],
    ]
    assert sent == {}  # held, not sent: the group does not send the first down

    # The same down again is a duplicate; another message or priority of the node is not.
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

    # Any up of router1 clears its three entries, its text sent once for each.
    up = ("2026-03-02 08:10:00", "5 - Normal", "router1", "Link up")
    assert cycle(varnel, up) == {}  # the up itself is no alarm of the group
    assert [h[2:6] for h in hold_queue(varnel)] == [[down, "2 - Major", "router2", "Link down"]]
    sent_by_queue = [d for d in dumps(varnel, "Support Groups - Hold Queue") if d]
    assert sent_by_queue == [{1: dict(Name="Core", Mess=">>".join([composed(*up)] * 3),
                                      **receivers(("Core-oncall", "PhoneMO")))}]
    assert varnel.log(106) == [] and varnel.stop() == 0  # no run-time error


def test_only_matching_events_reach_the_group_text(varnel):
    web = dict(Priority="3 - Minor", NodeName="db*<AND>mail*", NodeNameSearch="!=",
               Message="*FAIL*<or>*DOWN*", RecvName2="Bob", RecvType2="MailSMTP")
    service(varnel, [
        ("Retired", dict(Enabled=0)),
        ("Night", {d: 0 for d in DUTY}),
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
    assert varnel.log(106) == [] and varnel.stop() == 0  # no run-time error
