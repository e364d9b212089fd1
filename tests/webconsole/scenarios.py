# SPDX-License-Identifier: GPL-2.0-or-later
# SPDX-FileCopyrightText: 2026 The lumen-kcm-mic developers
"""Scenarios of the web console's page, each in a browser session of its own,
checked in the state root's files afterwards."""
import os
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--window-size=1280,900"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def wait_for(condition, timeout=30):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    raise AssertionError("timed out")


def page(driver, url):
    """The page as the console's shell shows it, in its frame."""
    driver.get(url + "/lumen-mic")
    frame = wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, "iframe[name='cockpit1:localhost/lumen-mic']"))
    driver.switch_to.frame(frame[0])


def read_the_demo(driver, url, root):
    page(driver, url)
    text = wait_for(lambda: driver.find_elements(By.ID, "mic-now") and driver.find_element(By.ID, "mic-now").text)
    assert "enabled" in text, text
    assert driver.find_element(By.ID, "max-level").text.startswith("63 - High /")
    assert driver.find_element(By.ID, "max-level-after-reboot").get_attribute("value") == "63"
    # A maximum level left empty is no level: nothing to apply until it is
    # one again, and Reset brings back the one read.
    field = driver.find_element(By.ID, "max-level-after-reboot")
    field.send_keys(Keys.BACKSPACE, Keys.BACKSPACE)
    wait_for(lambda: field.get_attribute("aria-invalid") == "true")
    assert not driver.find_element(By.ID, "apply").is_enabled()
    field.send_keys("31")
    wait_for(lambda: driver.find_element(By.ID, "apply").is_enabled())
    assert driver.find_element(By.ID, "max-level-name").text == "31 - Sensitive"
    click(driver, "#reset")
    wait_for(lambda: driver.find_element(By.ID, "max-level-after-reboot").get_attribute("value") == "63")
    count = driver.find_element(By.ID, "unprotected-count").text
    assert count.startswith("3 objects below their configured level"), count
    tab(driver, "Unprotected Objects")
    rows = wait_for(lambda: [row.text for row in driver.find_elements(By.CSS_SELECTOR, "#unprotected .mic-row:not(.mic-header)")])
    assert len(rows) == 3 and any("srv/demo/data" in row for row in rows), rows


def click(driver, selector):
    wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, selector) and driver.find_element(By.CSS_SELECTOR, selector).is_enabled())
    driver.find_element(By.CSS_SELECTOR, selector).click()


def tab(driver, title):
    wait_for(lambda: [button for button in driver.find_elements(By.CSS_SELECTOR, "button[role='tab']") if button.text == title])[0].click()


def state_line(root, name, key):
    with open(f"{root}/var/lib/kestrel/{name}.state", encoding="utf-8") as state:
        return [line.strip() for line in state if line.startswith(key + " ")]


def label(path):
    try:
        return int(os.getxattr(path, "security.kestrel.ilev", follow_symlinks=False).decode().strip("\0"))
    except OSError:
        return None


def apply_and_confirm(driver, expected):
    """Apply, the difference shown first, then confirmed; what was done."""
    click(driver, "#apply")
    difference = wait_for(lambda: driver.find_elements(By.ID, "difference") and driver.find_element(By.ID, "difference").text)
    for text in expected:
        assert text in difference, difference
    click(driver, "#confirm-apply")
    return wait_for(lambda: driver.find_elements(By.ID, "save-result") and driver.find_element(By.ID, "save-result").text, timeout=60)


def change_a_users_level(driver, url, root):
    """root, at 63 on the demo system, set to 31 on the Users tab, and ssh
    isolated on the Services tab, in one change."""
    user = "root"
    page(driver, url)
    tab(driver, "Users")
    choice = Select(wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, f"select[aria-label='{user}']"))[0])
    assert choice.first_selected_option.text == "63 - High", choice.first_selected_option.text
    choice.select_by_visible_text("31 - Sensitive")
    tab(driver, "Services")
    in_error = wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, "[data-service='nginx.service'] input"))[0]
    assert not in_error.is_enabled() and "in error" in driver.find_element(By.CSS_SELECTOR, "[data-service='nginx.service']").text
    click(driver, "[data-service='ssh.service'] label")
    apply_and_confirm(driver, [f"user {user}: 63 - High → 31 - Sensitive", "ssh.service"])
    assert state_line(root, "users", user) == [f"{user} = 31"], state_line(root, "users", user)
    assert state_line(root, "services", "service.ssh.service.isolated") == ["service.ssh.service.isolated = yes"]
    return user


def edit_rule(driver, path, level):
    """The rule of `path` given `level` on the Rules tab."""
    tab(driver, "Rules")
    row = wait_for(lambda: [row for row in driver.find_elements(By.CSS_SELECTOR, "#rules .mic-row") if row.text.startswith(path)])[0]
    row.find_element(By.TAG_NAME, "button").click()
    field = wait_for(lambda: driver.find_elements(By.ID, "level-input"))[0]
    field.clear()
    field.send_keys(level)
    click(driver, "#path-ok")


def a_lowering_change_asks_first(driver, url, root):
    """A rule changed while the demo's data folder carries a label that does
    not hold its level's bits (8 for 7): saving would lower that label, so
    the difference warns first, and nothing changes until confirmed."""
    conf, data = f"{root}/srv/demo/etc/app.conf", f"{root}/srv/demo/data"
    page(driver, url)
    edit_rule(driver, conf, "15")
    click(driver, "#apply")
    warning = wait_for(lambda: driver.find_elements(By.ID, "lowering") and driver.find_element(By.ID, "lowering").text)
    assert "lowers the label of 1 object" in warning and "labels of 4 objects in all" in warning, warning
    click(driver, "#close")
    assert label(data) == 8
    result = apply_and_confirm(driver, [conf])
    assert f"{data}: 8 → 7 (lowered)" in result, result
    assert label(data) == 7
    with open(f"{root}/etc/kestrel/fs-ilev.conf", encoding="utf-8") as rules:
        assert f"15 {conf}\n" in rules.read()


def protection_stopped(driver, url, root):
    """Protecting 10^5 unlabelled objects: the progress shows, Stop puts
    everything back (the helper held amid its labels until it has the stop)."""
    folder = f"{root}/srv/many"
    os.makedirs(folder)
    paths = [f"{folder}/f{i}" for i in range(100000)]
    for path in paths:
        open(path, "w").close()
    with open(f"{root}/etc/kestrel/fs-ilev.conf", "w", encoding="utf-8") as rules:
        rules.writelines(f"high {path}\n" for path in paths)
    state = f"{root}/var/lib/kestrel/mic.state"
    with open(state, encoding="utf-8") as file:
        before = file.read().replace("fs-protection = yes", "fs-protection = no")
    with open(state, "w", encoding="utf-8") as file:
        file.write(before)
    bus = os.environ["MIC_TEST_BUS_DIR"]
    pause, stop_taken = f"{bus}/pause-middle-labels", f"{bus}/stop-taken"
    with open(pause, "w", encoding="utf-8") as file:
        file.write("events")
    try:
        page(driver, url)
        click(driver, "label[for='protection']")
        apply_and_confirm_started(driver)
        progress = wait_for(lambda: "Labelling" in driver.find_element(By.ID, "save-progress").text and driver.find_element(By.ID, "save-progress").text, timeout=120)
        assert "of 100,000 objects" in progress, progress
        click(driver, "#stop")
        wait_for(lambda: os.path.exists(stop_taken), timeout=30)
    finally:
        os.remove(pause)
    error = wait_for(lambda: driver.find_elements(By.ID, "save-error") and driver.find_element(By.ID, "save-error").text, timeout=120)
    assert "Stopped: nothing was changed." in error, error
    with open(state, encoding="utf-8") as file:
        assert file.read() == before
    labelled = [path for path in paths if label(path) is not None]
    assert not labelled, labelled[:3]


def apply_and_confirm_started(driver):
    click(driver, "#apply")
    relabelling = wait_for(lambda: driver.find_elements(By.ID, "relabelling") and "objects" in driver.find_element(By.ID, "relabelling").text
                           and driver.find_element(By.ID, "relabelling").text, timeout=120)
    # The objects, and the folder that holds them, raised as their container.
    assert "changes the labels of 100,001 objects" in relabelling, relabelling
    click(driver, "#confirm-apply")


def as_nobody(driver, url, root):
    """A user without administrative access: the page says it is needed,
    with the helper's refusal, and nothing changes."""
    before = {name: open(f"{root}/var/lib/kestrel/{name}.state", encoding="utf-8").read() for name in ("mic", "users", "services")}
    page(driver, url)
    text = wait_for(lambda: driver.find_elements(By.ID, "needs-admin") and driver.find_element(By.ID, "needs-admin").text)
    assert "Administrative access is needed" in text and "Limited access" in text, text
    reason = wait_for(lambda: driver.find_elements(By.ID, "helper-reason") and driver.find_element(By.ID, "helper-reason").text)
    assert "not authorized" in reason.lower(), reason
    after = {name: open(f"{root}/var/lib/kestrel/{name}.state", encoding="utf-8").read() for name in before}
    assert after == before


def restore_from_history(driver, url, root):
    """A change made on the page, then undone from the history."""
    user = change_a_users_level(driver, url, root)
    click(driver, "#close")
    tab(driver, "History")
    newest = wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, "#history tbody tr"))[0].text
    assert "maximal level of 1 user: root to 31" in newest and "Applied" in newest, newest
    wait_for(lambda: [button for button in driver.find_elements(By.CSS_SELECTOR, "#history button") if button.is_displayed()])[0].click()
    difference = wait_for(lambda: driver.find_elements(By.ID, "difference") and driver.find_element(By.ID, "difference").text)
    assert user in difference, difference
    click(driver, "#confirm-apply")
    wait_for(lambda: driver.find_elements(By.ID, "save-result"), timeout=60)
    assert state_line(root, "users", user) == [f"{user} = 63"], state_line(root, "users", user)
    assert state_line(root, "services", "service.ssh.service.isolated") == ["service.ssh.service.isolated = no"]


def rules_table(driver, url, root):
    """The demo's rules in their table, filtered."""
    page(driver, url)
    tab(driver, "Rules")
    count = wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, "#rules .mic-count") and driver.find_element(By.CSS_SELECTOR, "#rules .mic-count").text)
    assert count == "9 of 9 rows", count
    driver.find_element(By.CSS_SELECTOR, "#rules input").send_keys("lib")
    wait_for(lambda: driver.find_element(By.CSS_SELECTOR, "#rules .mic-count").text == "2 of 9 rows")
    rows = [row.text for row in driver.find_elements(By.CSS_SELECTOR, "#rules .mic-row:not(.mic-header)")]
    assert len(rows) == 2 and all("/lib" in row for row in rows), rows
    driver.find_element(By.CSS_SELECTOR, "#rules input").clear()


def german(driver, url, root):
    """The console's language decides: the page and micctl's texts in German."""
    driver.get(url)
    driver.add_cookie({"name": "CockpitLang", "value": "de"})
    page(driver, url)
    wait_for(lambda: [button for button in driver.find_elements(By.CSS_SELECTOR, "button[role='tab']") if button.text == "Allgemein"])
    tab(driver, "Verlauf")
    tab(driver, "Allgemein")
    text = wait_for(lambda: driver.find_elements(By.ID, "mic-now") and driver.find_element(By.ID, "mic-now").text)
    assert "aktiviert" in text, text
    # The console's menu names the page from its catalogue too.
    driver.switch_to.default_content()
    wait_for(lambda: [link for link in driver.find_elements(By.TAG_NAME, "a") if link.text == "Integritätskontrolle"])


def shell_picture(driver, file):
    driver.switch_to.default_content()
    time.sleep(0.5)
    driver.save_screenshot(file)


def guide_screenshots(driver, url, root):
    """The pictures of the guide's section on the web console: the general
    tab, the rules filtered, the difference that warns before labels go
    down, and a protection under way (the helper held amid its labels)."""
    folder = os.environ["MIC_WEB_SCREENSHOTS"]
    page(driver, url)
    wait_for(lambda: driver.find_elements(By.ID, "mic-now"))
    shell_picture(driver, f"{folder}/web-general.png")
    page(driver, url)
    tab(driver, "Rules")
    wait_for(lambda: driver.find_elements(By.CSS_SELECTOR, "#rules input"))[0].send_keys("demo/bin")
    wait_for(lambda: driver.find_element(By.CSS_SELECTOR, "#rules .mic-count").text == "3 of 9 rows")
    shell_picture(driver, f"{folder}/web-rules.png")
    page(driver, url)
    edit_rule(driver, f"{root}/srv/demo/etc/app.conf", "15")
    click(driver, "#apply")
    wait_for(lambda: driver.find_elements(By.ID, "lowering"))
    shell_picture(driver, f"{folder}/web-difference.png")


def screenshot(driver, url, root, file):
    """The page as it first shows, in the console's shell."""
    page(driver, url)
    wait_for(lambda: driver.find_elements(By.ID, "mic-now"))
    time.sleep(1)
    driver.switch_to.default_content()
    driver.save_screenshot(file)


def main():
    name, url, root = sys.argv[1:4]
    if name == "screenshot":
        driver = browser()
        try:
            screenshot(driver, url, root, sys.argv[4])
        finally:
            driver.quit()
        return
    driver = browser()
    try:
        globals()[name](driver, url, root)
    finally:
        driver.switch_to.default_content()
        driver.save_screenshot(f"{os.environ.get('MIC_WEB_SCREENSHOTS', '/tmp')}/webconsole-{name}.png")
        driver.quit()


if __name__ == "__main__":
    main()
